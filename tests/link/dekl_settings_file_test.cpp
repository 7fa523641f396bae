// Saving and loading the settings file itself: failures, permissions, links,
// hostile and huge contents.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include "Dekl.h"
#include "dekl_test_files.h"

namespace fs = std::filesystem;

namespace {

const std::string kConnection = "[P\xF8ipojen\xED]";
const std::string kInterface = "Rozhran\xED";

size_t EntriesIn(const std::string& folder) {
  size_t count = 0;
  for (auto it = fs::directory_iterator(folder); it != fs::directory_iterator(); ++it) ++count;
  return count;
}

// The error must come out of WriteSettings and name the file; the reason is
// for a Czech message box.
void ExpectWriteError(TConnectionConfig& config, const std::string& path, const std::string& reason = "") {
  try {
    WriteSettings(&config, path);
    ADD_FAILURE() << "no error for " << path;
  } catch (const ESettingsWriteError& error) {
    EXPECT_EQ(error.FileName(), path);
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    EXPECT_FALSE(error.Reason().empty());
    if (!reason.empty()) {
      EXPECT_EQ(error.Reason(), reason);
    }
  }
}

TEST(SettingsFileErrors, FolderMissing) {
  TempFolder folder;
  const std::string path = folder.File("gone/W_dq7184.ini");
  TConnectionConfig config = DefaultConfig();
  ExpectWriteError(config, path, "nelze vytvořit dočasný soubor: složka neexistuje");
  EXPECT_FALSE(fs::exists(folder.File("gone")));
  EXPECT_FALSE(ReadSettings(&config, path));
}

TEST(SettingsFileErrors, NameBelongsToAFolder) {
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  fs::create_directory(path);
  WriteWhole(path + "/inside", "kept");
  TConnectionConfig config = DefaultConfig();
  EXPECT_FALSE(ReadSettings(&config, path));
  ExpectWriteError(config, path, "pod tímto názvem je složka");
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(ReadWhole(path + "/inside"), "kept");
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);  // no temporary file left
}

// A file that exists but cannot be read is not replaced by one that holds
// only our keys.
TEST(SettingsFileErrors, UnreadableFileIsNotReplaced) {
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  TConnectionConfig config = DefaultConfig();
  EXPECT_FALSE(ReadSettings(&config, path));  // and does not block
  ExpectWriteError(config, path);
  EXPECT_TRUE(fs::is_fifo(path));
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

// The write itself fails (file size limit, works for the superuser too):
// the old file stays whole and the temporary file goes.
TEST(SettingsFileErrors, FailedWriteKeepsTheOldFile) {
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  const std::string old = kConnection + "\r\n" + kInterface + "=COMx\r\n; " + std::string(200, 'x') + "\r\n";
  WriteWhole(path, old);

  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*savedHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  TConnectionConfig config = DefaultConfig();
  config.ModuleAddress = 5;
  bool thrown = false;
  try {
    WriteSettings(&config, path);
  } catch (const ESettingsWriteError& error) {
    thrown = true;
    EXPECT_EQ(error.FileName(), path);
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, savedHandler);

  EXPECT_TRUE(thrown);
  EXPECT_EQ(ReadWhole(path), old);
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(SettingsFileErrors, WriteProtectedFileIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser may write any file";
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  WriteWhole(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  TConnectionConfig config = DefaultConfig();
  ExpectWriteError(config, path);
  EXPECT_EQ(ReadWhole(path), "old");
}

TEST(SettingsFileErrors, RelativePathIsReportedInFull) {
  TempFolder folder;
  const fs::path saved = fs::current_path();
  fs::current_path(folder.Path());
  TConnectionConfig config = DefaultConfig();
  std::string reported;
  try {
    WriteSettings(&config, "gone/W_dq7184.ini");
  } catch (const ESettingsWriteError& error) {
    reported = error.FileName();
  }
  fs::current_path(saved);
  EXPECT_EQ(reported, fs::canonical(folder.Path()).string() + "/gone/W_dq7184.ini");
}

TEST(SettingsFileSave, PermissionsCarryOverAndNewFilesFollowTheUmask) {
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  TConnectionConfig config = DefaultConfig();
  const mode_t savedMask = umask(022);
  EXPECT_TRUE(WriteSettings(&config, path));
  umask(savedMask);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  config.ModuleAddress = 3;
  EXPECT_TRUE(WriteSettings(&config, path));
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(SettingsFileSave, SymbolicLinkStaysALink) {
  TempFolder folder;
  fs::create_directory(folder.File("real"));
  const std::string target = folder.File("real/settings.ini");
  const std::string link = folder.File("W_dq7184.ini");
  WriteWhole(target, "; mine\r\n");
  fs::create_symlink(target, link);
  TConnectionConfig config = DefaultConfig();
  EXPECT_TRUE(WriteSettings(&config, link));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadWhole(target).rfind("; mine\r\n", 0), 0u);
  EXPECT_TRUE(ReadSettings(&config, link));
}

TEST(SettingsFileContent, GarbageAndBinaryFiles) {
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  std::mt19937 random(99);
  for (int round = 0; round < 20; ++round) {
    std::string garbage(static_cast<size_t>(random() % 70000), '\0');
    for (auto& c : garbage) c = static_cast<char>(random() % 256);
    WriteWhole(path, garbage);
    TConnectionConfig config = DefaultConfig();
    EXPECT_FALSE(ReadSettings(&config, path));
    config.InterfaceType = itDq2847;
    config.IpAddress = "127.0.2.3";
    EXPECT_TRUE(WriteSettings(&config, path));
    const std::string written = ReadWhole(path);
    EXPECT_EQ(written.compare(0, garbage.size(), garbage), 0);  // the old bytes stay in front
    TConnectionConfig read = DefaultConfig();
    EXPECT_TRUE(ReadSettings(&read, path));
    EXPECT_EQ(read.InterfaceType, itDq2847);
    EXPECT_EQ(read.IpAddress, "127.0.2.3");
  }
}

TEST(SettingsFileContent, ManyMegabytes) {
  TempFolder folder;
  const std::string path = folder.File("W_dq7184.ini");
  std::string big;
  big.reserve(40u << 20);
  for (int section = 0; big.size() < (32u << 20); ++section) {
    big += "[Section " + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 50; ++key) big += "Key" + std::to_string(key) + "=value of some length\r\n";
  }
  big += std::string(1u << 20, 'z');  // one line of a megabyte
  big += "\n" + kConnection + "\n" + kInterface + "=PCI-2847\nAdresa=17\n";
  WriteWhole(path, big);

  TConnectionConfig config = DefaultConfig();
  EXPECT_TRUE(ReadSettings(&config, path));
  EXPECT_EQ(config.InterfaceType, itPci2847);
  EXPECT_EQ(config.ModuleAddress, 17);
  config.ModuleAddress = 18;
  EXPECT_TRUE(WriteSettings(&config, path));
  const std::string written = ReadWhole(path);
  const size_t kept = big.size() - std::string("\nAdresa=17\n").size();
  EXPECT_EQ(written.compare(0, kept, big, 0, kept), 0);
  EXPECT_EQ(written.substr(kept), "\nAdresa=18\nRychlost=9600\r\n");  // the file's first line ends CRLF
}

}  // namespace
