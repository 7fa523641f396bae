// The driver access layer loads a library only from the program's folder
// (this binary lives beside the real libraries): a library carrying a
// driver's file name planted in the current folder is never loaded, also
// when LD_LIBRARY_PATH names the current folder (an empty element, ".") or
// the planted folder itself. LD_LIBRARY_PATH is read when a process
// starts, so each environment is tried in a child: this binary run with
// --probe, which loads every library and reports where it came from.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "ChildProcess.h"
#include "PlantedFolder.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kProbeArgument = "--probe";
constexpr int32_t kClosedUdpPort = 5999;

// Init of the real libraries with nothing to find in the empty fake
// machine: every library answers with a code of its own.
struct Expected {
  TInterfaceType type;
  intptr_t word0;
  int32_t code;
};
constexpr Expected kInits[] = {
    {itComPort, 200, 13},  // COM200: no device
    {itPci847, 0x300, 24},  // no ISA card
    {itPci2847, 0, 25},     // no PCI card
    {itUsb2847, 0, 26},     // no USB converter
    {itDq2847, 0, 0},       // a UDP socket towards a closed loopback port
};

std::string FolderOfMapped(TInterfaceType type) {
  const std::vector<std::string> mapped = faults::MappedFiles(DriverLibraryName(type));
  if (mapped.size() != 1) return mapped.empty() ? "none" : "several";
  return fs::path(mapped[0]).parent_path().string();
}

// The child: one line per library, "<file> <Init result> <folder>", where
// the folder is where the file mapped into this process lies.
int Probe() {
  const std::string ip = "127.0.0.1";
  for (const Expected& init : kInits) {
    intptr_t params[kInitParamCount] = {init.word0};
    if (init.type == itDq2847) {
      params[0] = reinterpret_cast<intptr_t>(ip.c_str());
      params[1] = kClosedUdpPort;
      params[2] = 40;
    }
    int32_t handle = 0;
    const int32_t result = DriverInit(init.type, handle, params);
    std::printf("%s %d %s\n", DriverLibraryName(init.type), static_cast<int>(result), FolderOfMapped(init.type).c_str());
    DriverDone(init.type, handle);
  }
  std::fflush(stdout);
  return 0;
}

class LoadingFromProgramFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(planted_.Ready());
    // Nothing to find for the card and converter searches, and an empty
    // port map: the real libraries fail their Init in a known way.
    fs::create_directories(planted_.Path() + "/empty/sys");
    fs::create_directories(planted_.Path() + "/empty/dev");
    setenv("DQ7184_SYSFS_ROOT", (planted_.Path() + "/empty/sys").c_str(), 1);
    setenv("DQ7184_DEV_ROOT", (planted_.Path() + "/empty/dev").c_str(), 1);
    setenv("DQ7184_PORTMAP", (planted_.Path() + "/empty/ports.conf").c_str(), 1);
    const char* searchPath = std::getenv("LD_LIBRARY_PATH");
    if (searchPath != nullptr) saved_ = searchPath;
  }
  void TearDown() override {
    int32_t handle = 0;
    if (DriverIsBound()) DriverDone(itDq2847, handle);
    unsetenv("DQ7184_SYSFS_ROOT");
    unsetenv("DQ7184_DEV_ROOT");
    unsetenv("DQ7184_PORTMAP");
    if (saved_) {
      setenv("LD_LIBRARY_PATH", saved_->c_str(), 1);
    } else {
      unsetenv("LD_LIBRARY_PATH");
    }
  }

  faults::PlantedFolder planted_{DQ_PLANTED_LIBRARY};
  std::optional<std::string> saved_;
  const std::string self_ = fs::read_symlink("/proc/self/exe").string();
};

TEST_F(LoadingFromProgramFolder, RealLanLibraryWorksAndThePlantedOneIsNeverLoaded) {
  const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip.c_str()), kClosedUdpPort, 40};
  int32_t handle = 0;
  ASSERT_EQ(DriverInit(itDq2847, handle, params), 0);
  EXPECT_NE(handle, 4242) << "the planted Init's handle";
  EXPECT_EQ(FolderOfMapped(itDq2847), fs::canonical(DQ_OUTPUT_DIR).string());
  // The real library's own text, not the planted one's.
  EXPECT_EQ(DriverErrorString(itDq2847, 0), Cp1250FromUtf8("V pořádku"));
  EXPECT_EQ(DriverDone(itDq2847, handle), 0);
  EXPECT_FALSE(planted_.MarkerWritten());
}

TEST_F(LoadingFromProgramFolder, NoLibrarySearchPathBringsInThePlantedLibrary) {
  const std::string programFolder = fs::canonical(DQ_OUTPUT_DIR).string();
  const struct {
    const char* name;
    std::optional<std::string> searchPath;
  } rows[] = {
      {"not set", std::nullopt},
      {"empty", std::string()},
      {"empty element first", ":/usr/local/lib"},
      {"empty element in the middle", "/usr/local/lib::/usr/lib"},
      {"empty element last", "/usr/local/lib:"},
      {"the current folder as .", "."},
      {"the planted folder", planted_.Path()},
      {"the planted folder before the program's", planted_.Path() + ":" + programFolder},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.searchPath) {
      setenv("LD_LIBRARY_PATH", row.searchPath->c_str(), 1);
    } else {
      unsetenv("LD_LIBRARY_PATH");
    }
    faults::ChildProcess child;
    ASSERT_TRUE(child.Start({self_, kProbeArgument}));
    for (const Expected& init : kInits) {
      std::string line;
      ASSERT_TRUE(child.ReadLine(line, 20000)) << "no report for " << DriverLibraryName(init.type);
      std::istringstream fields(line);
      std::string file;
      int32_t result = -1;
      std::string folder;
      fields >> file >> result >> folder;
      EXPECT_EQ(file, DriverLibraryName(init.type));
      EXPECT_EQ(result, init.code) << line;
      EXPECT_EQ(folder, programFolder) << line;
    }
    const int status = child.Reap();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status;
    EXPECT_FALSE(planted_.MarkerWritten());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kProbeArgument) == 0) return Probe();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
