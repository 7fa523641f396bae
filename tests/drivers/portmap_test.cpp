// The COM port map: reading, the atomic add/replace/remove, the file's place.
#include <gtest/gtest.h>
#include <thread>

#include "DriverEnv.h"
#include "core/ErrorCodes.h"
#include "PortMap.h"
#include "TestUtil.h"

using dqtest::EnvVar;

TEST(PortMap, ParsesEntriesCommentsAndOddLines) {
  auto map = dqports::Parse(
      "# my ports\n"
      "COM5=/dev/ttyUSB0\n"
      "  com7 =  /dev/pts/3  \r\n"
      "COM5=/dev/other\n"
      "COM0=/dev/zero\n"
      "COM70000=/dev/x\n"
      "LPT1=/dev/lp0\n"
      "COM8=\n"
      "COMx=/dev/y\n");
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[5], "/dev/ttyUSB0");  // the first line of a port counts
  EXPECT_EQ(map[7], "/dev/pts/3");
}

TEST(PortMap, SetReplaceRemoveKeepsOtherLines) {
  dqtest::TempDir dir;
  std::string file = dir.File("sub/dq7184/ports.conf");
  EXPECT_EQ(dqports::SetEntryIn(file, 3, "/dev/pts/9"), dqerr::kOk);  // folders created
  EXPECT_EQ(dqports::LookupIn(file, 3).value_or(""), "/dev/pts/9");

  dir.Write("sub/dq7184/ports.conf", "# keep me\nCOM3=/dev/pts/9\nodd line\nCOM4=/dev/ttyS9\nCOM3=/dev/dup\n");
  EXPECT_EQ(dqports::SetEntryIn(file, 3, "/dev/ttyUSB1"), dqerr::kOk);
  EXPECT_EQ(dqtest::ReadFile(file), "# keep me\nCOM3=/dev/ttyUSB1\nodd line\nCOM4=/dev/ttyS9\n");
  EXPECT_EQ(dqports::SetEntryIn(file, 12, "/dev/pts/1"), dqerr::kOk);
  EXPECT_EQ(dqports::SetEntryIn(file, 3, ""), dqerr::kOk);
  EXPECT_EQ(dqtest::ReadFile(file), "# keep me\nodd line\nCOM4=/dev/ttyS9\nCOM12=/dev/pts/1\n");
  EXPECT_FALSE(dqports::LookupIn(file, 3));

  EXPECT_EQ(dqports::SetEntryIn(file, 0, "/dev/x"), dqerr::kInvalidParameter);
  EXPECT_EQ(dqports::SetEntryIn(file, 65536, "/dev/x"), dqerr::kInvalidParameter);
  EXPECT_EQ(dqports::SetEntryIn(file, 2, "/dev/x\nCOM1=/dev/evil"), dqerr::kInvalidParameter);
  EXPECT_EQ(dqports::SetEntryIn(dir.File("plainfile/ports.conf"), 1, "/dev/x"), dqerr::kOk);
  dir.Write("blocker", "x");
  EXPECT_EQ(dqports::SetEntryIn(dir.File("blocker/ports.conf"), 1, "/dev/x"), dqerr::kPortMapWrite);
}

TEST(PortMap, ConcurrentWritersLoseNothing) {
  dqtest::TempDir dir;
  std::string file = dir.File("ports.conf");
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([&file, t] {
      for (int i = 0; i < 10; ++i) dqports::SetEntryIn(file, 1 + t * 10 + i, "/dev/pts/" + std::to_string(t));
    });
  }
  for (auto& writer : writers) writer.join();
  EXPECT_EQ(dqports::Parse(dqtest::ReadFile(file)).size(), 40u);
}

TEST(PortMap, FileLocationFromEnvironment) {
  {
    EnvVar map("DQ7184_PORTMAP", "/x/map.conf");
    EXPECT_EQ(dqports::MapFilePath(), "/x/map.conf");
  }
  EnvVar map("DQ7184_PORTMAP", "");
  {
    EnvVar config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(dqports::MapFilePath(), "/cfg/dq7184/ports.conf");
  }
  EnvVar config("XDG_CONFIG_HOME", nullptr);
  EnvVar home("HOME", "/home/tech");
  EXPECT_EQ(dqports::MapFilePath(), "/home/tech/.config/dq7184/ports.conf");
}
