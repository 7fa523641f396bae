// Saving and loading the settings file itself: failures, permissions, links,
// hostile and huge contents.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>

#include "FileErrors.h"
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

TEST(SettingsFileErrors, NameBelongsToAFolder) {
  dqtest::TempDir folder;
  const std::string path = folder.File("W_dq7184.ini");
  fs::create_directory(path);
  WriteFile(path + "/inside", "kept");
  TConnectionConfig config = DefaultConfig();
  EXPECT_FALSE(ReadSettings(&config, path));
  ExpectWriteError(config, path, "pod tímto názvem je složka");
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(ReadFile(path + "/inside"), "kept");
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);  // no temporary file left
}

// Every cause the save can meet has a Czech text for the message box, not
// the system's English one.
TEST(SettingsFileErrors, CausesAreInCzech) {
  struct Row {
    int error;
    const char* word;  // a Czech word of its text
  };
  const Row rows[] = {
      {ENOENT, "neexistuje"}, {EACCES, "odepřen"}, {EPERM, "odepřen"}, {EROFS, "čtení"},
      {ENOSPC, "místo"}, {EDQUOT, "kvóta"}, {EFBIG, "velký"}, {EOVERFLOW, "velký"},
      {EISDIR, "složka"}, {ENOTDIR, "složka"}, {ENOTEMPTY, "prázdná"}, {ENAMETOOLONG, "název"},
      {ELOOP, "odkazů"}, {EIO, "výstupu"}, {EEXIST, "existuje"}, {EINVAL, "souboru"},
      {EMFILE, "otevřených"}, {ENFILE, "otevřených"}, {ETXTBSY, "programem"}, {EBUSY, "obsazeno"},
      {EXDEV, "disku"}, {EMLINK, "odkazů"}, {ENXIO, "zařízení"}, {ENODEV, "zařízení"},
      {ENOMEDIUM, "médium"}, {ENOMEM, "paměti"}, {EINTR, "přerušena"}, {EAGAIN, "nedostupný"},
      {ESTALE, "síťovém"}, {ETIMEDOUT, "čas"}, {ENOLCK, "zamknout"}, {EOPNOTSUPP, "nepodporuje"},
      {ENOSYS, "nepodporuje"}, {EBADF, "popisovač"}, {EFAULT, "paměti"},
      {EHWPOISON, "systémová chyba"}, {4000, "systémová chyba 4000"},
  };
  for (const Row& row : rows) {
    const std::string text = ErrorCauseText(row.error);
    EXPECT_NE(text.find(row.word), std::string::npos) << row.error << ": " << text;
    EXPECT_EQ(text.find(std::strerror(row.error)), std::string::npos) << row.error << ": " << text;
  }
  EXPECT_EQ(ErrorCauseText(EHWPOISON), "systémová chyba " + std::to_string(EHWPOISON));
}

// Places where the file cannot be saved: the reason the message box shows,
// and nothing changes in the folder.
TEST(SettingsFileErrors, UnwritablePlacesGiveTheirCause) {
  struct Row {
    const char* what;
    std::function<void(const dqtest::TempDir&)> plant;  // prepares the place in the folder
    std::string name;                              // the settings file in the folder
    std::string reason;                            // "<target>" stands for the folder's path
  };
  const std::string kFile = "W_dq7184.ini";
  const Row rows[] = {
      {"folder missing", nullptr, "gone/W_dq7184.ini", "nelze vytvořit dočasný soubor: složka neexistuje"},
      {"folder is a file", [](const dqtest::TempDir& f) { f.Write("plain", "x"); }, "plain/W_dq7184.ini",
       "soubor nelze přečíst: část cesty není složka"},
      {"FIFO", [&kFile](const dqtest::TempDir& f) { mkfifo(f.File(kFile).c_str(), 0600); }, kFile,
       "soubor nelze přečíst: není to obyčejný soubor"},
      {"socket",
       [&kFile](const dqtest::TempDir& f) {
         const std::string path = f.File(kFile);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
         const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
         bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
         close(fd);
       },
       kFile, "soubor nelze přečíst: není to obyčejný soubor"},
      {"symbolic link to itself", [&kFile](const dqtest::TempDir& f) { f.Symlink(kFile, kFile); }, kFile,
       "soubor nelze přečíst: smyčka symbolických odkazů"},
      {"loop of two symbolic links",
       [&kFile](const dqtest::TempDir& f) {
         f.Symlink("other.ini", kFile);
         f.Symlink(f.File(kFile), "other.ini");
       },
       kFile, "soubor nelze přečíst: smyčka symbolických odkazů"},
      {"dangling link into a missing folder", [&kFile](const dqtest::TempDir& f) { f.Symlink("gone/real.ini", kFile); },
       kFile, "cíl symbolického odkazu <target>/gone/real.ini nelze vytvořit: složka neexistuje"},
      {"dangling link through a file",
       [&kFile](const dqtest::TempDir& f) {
         f.Write("plain", "x");
         f.Symlink(f.File("plain/real.ini"), kFile);
       },
       kFile, "soubor nelze přečíst: část cesty není složka"},
      {"name too long", nullptr, std::string(300, 'n') + ".ini", "soubor nelze přečíst: příliš dlouhý název"},
  };
  for (const Row& row : rows) {
    dqtest::TempDir folder;
    if (row.plant) row.plant(folder);
    const std::string path = folder.File(row.name);
    std::set<std::string> before;
    for (const auto& entry : fs::directory_iterator(folder.Path())) before.insert(entry.path().string());
    std::string reason = row.reason;
    const size_t mark = reason.find("<target>");
    if (mark != std::string::npos) reason.replace(mark, 8, folder.Path());

    TConnectionConfig config = DefaultConfig();
    EXPECT_FALSE(ReadSettings(&config, path)) << row.what;  // and does not block
    SCOPED_TRACE(row.what);
    ExpectWriteError(config, path, reason);
    std::set<std::string> after;
    for (const auto& entry : fs::directory_iterator(folder.Path())) after.insert(entry.path().string());
    EXPECT_EQ(after, before);
  }
}

// The write itself fails (file size limit, works for the superuser too):
// the old file stays whole and the temporary file goes.
TEST(SettingsFileErrors, FailedWriteKeepsTheOldFile) {
  dqtest::TempDir folder;
  const std::string path = folder.File("W_dq7184.ini");
  const std::string old = kConnection + "\r\n" + kInterface + "=COMx\r\n; " + std::string(200, 'x') + "\r\n";
  WriteFile(path, old);

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
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(EntriesIn(folder.Path()), 1u);
}

TEST(SettingsFileErrors, WriteProtectedFileIsNotReplaced) {
  if (geteuid() == 0) GTEST_SKIP() << "the superuser may write any file";
  dqtest::TempDir folder;
  const std::string path = folder.File("W_dq7184.ini");
  WriteFile(path, "old");
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  TConnectionConfig config = DefaultConfig();
  ExpectWriteError(config, path);
  EXPECT_EQ(ReadFile(path), "old");
}

TEST(SettingsFileErrors, RelativePathIsReportedInFull) {
  dqtest::TempDir folder;
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
  dqtest::TempDir folder;
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

// A symbolic link stays a link, also one to a file not there yet: the file
// is made where the link points.
TEST(SettingsFileSave, SymbolicLinksStayLinks) {
  struct Row {
    const char* what;
    bool targetExists;
    bool relative;
    bool chain;  // the link points to a second link, that one to the file
  };
  const Row rows[] = {
      {"link to a file", true, false, false},
      {"relative link to a file", true, true, false},
      {"dangling link", false, false, false},
      {"dangling relative link", false, true, false},
      {"chain of two links to a file", true, true, true},
      {"chain of two links, the end dangling", false, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    dqtest::TempDir folder;
    fs::create_directory(folder.File("real"));
    const std::string target = folder.File("real/settings.ini");
    const std::string link = folder.File("W_dq7184.ini");
    if (row.targetExists) WriteFile(target, "; mine\r\n");
    std::string first = row.relative ? "real/settings.ini" : target;
    if (row.chain) {
      fs::create_symlink("settings.ini", folder.File("real/middle.ini"));
      first = row.relative ? "real/middle.ini" : folder.File("real/middle.ini");
    }
    fs::create_symlink(first, link);

    TConnectionConfig config = DefaultConfig();
    config.ModuleAddress = 9;
    EXPECT_TRUE(WriteSettings(&config, link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), first);
    if (row.chain) {
      EXPECT_TRUE(fs::is_symlink(folder.File("real/middle.ini")));
    }
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
    const std::string written = ReadFile(target);
    if (row.targetExists) {
      EXPECT_EQ(written.rfind("; mine\r\n", 0), 0u);
    }
    TConnectionConfig read = DefaultConfig();
    EXPECT_TRUE(ReadSettings(&read, link));
    EXPECT_EQ(read.ModuleAddress, 9);
    EXPECT_EQ(EntriesIn(folder.Path()), 2u);  // the link and real/
    EXPECT_EQ(EntriesIn(folder.File("real")), row.chain ? 2u : 1u);
  }
}

// A pid that belonged to a process that has ended.
pid_t EndedPid() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  int status = 0;
  waitpid(pid, &status, 0);
  return pid;
}

// A successful save removes the temporary files that saves killed midway
// left beside the file, and nothing else.
TEST(SettingsFileSave, LeftoversOfEndedSavesGoWithTheNextSave) {
  const std::string ended = std::to_string(EndedPid());
  const std::string own = std::to_string(getpid());
  struct Row {
    std::string name;
    bool removed;
  };
  const Row rows[] = {
      {"W_dq7184.ini.tmp-" + ended + "-1", true},
      {"W_dq7184.ini.tmp-" + ended + "-4294967296", true},
      {"W_dq7184.ini.tmp-" + own + "-999999", true},  // this process's, no save under way
      {"W_dq7184.ini.tmp-1-1", false},                 // a process that lives
      {"W_dq7184.ini.tmp-" + std::to_string(getppid()) + "-2", false},
      {"W_dq7184.ini.tmp-" + ended + "-1.bak", false},
      {"W_dq7184.ini.tmp-" + ended + "-", false},
      {"W_dq7184.ini.tmp-" + ended, false},
      {"W_dq7184.ini.tmp--1", false},
      {"W_dq7184.ini.tmp-0-1", false},  // kill(0) would mean the process group
      {"W_dq7184.ini.tmp-x" + ended + "-1", false},
      {"W_dq7184.ini.tmp-+" + ended + "-1", false},
      {"W_dq7184.ini.tmp-99999999999-1", false},
      {"w_dq7184.ini.tmp-" + ended + "-1", false},
      {"other.ini.tmp-" + ended + "-1", false},
      {"W_dq7184.ini.tmp-" + ended + "-2-3", false},
  };
  dqtest::TempDir folder;
  const std::string path = folder.File("W_dq7184.ini");
  WriteFile(path, "; mine\r\n");
  for (const Row& row : rows) WriteFile(folder.File(row.name), "left over");
  // Not regular files, or not beside the settings file: never touched.
  const std::string asFolder = "W_dq7184.ini.tmp-" + ended + "-7";
  fs::create_directory(folder.File(asFolder));
  fs::create_directory(folder.File("sub"));
  WriteFile(folder.File("sub/W_dq7184.ini.tmp-" + ended + "-1"), "left over");
  // Locked: a save is writing it (the pid may be another namespace's).
  const std::string locked = "W_dq7184.ini.tmp-" + ended + "-8";
  WriteFile(folder.File(locked), "being written");
  const int lockFd = open(folder.File(locked).c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(lockFd, LOCK_EX), 0);

  TConnectionConfig config = DefaultConfig();
  EXPECT_TRUE(WriteSettings(&config, path));
  for (const Row& row : rows) {
    EXPECT_EQ(fs::exists(folder.File(row.name)), !row.removed) << row.name;
  }
  EXPECT_TRUE(fs::is_directory(folder.File(asFolder)));
  EXPECT_TRUE(fs::exists(folder.File("sub/W_dq7184.ini.tmp-" + ended + "-1")));
  EXPECT_TRUE(fs::exists(folder.File(locked)));
  close(lockFd);

  // Unlocked, the next save takes it; a failed save removes nothing.
  fs::remove(folder.File(asFolder));
  WriteFile(folder.File("W_dq7184.ini.tmp-" + ended + "-9"), "left over");
  ASSERT_EQ(chmod(folder.Path().c_str(), 0500), 0);
  if (geteuid() != 0) {
    EXPECT_THROW(WriteSettings(&config, path), ESettingsWriteError);
    EXPECT_TRUE(fs::exists(folder.File("W_dq7184.ini.tmp-" + ended + "-9")));
  }
  ASSERT_EQ(chmod(folder.Path().c_str(), 0700), 0);
  EXPECT_TRUE(WriteSettings(&config, path));
  EXPECT_FALSE(fs::exists(folder.File(locked)));
  EXPECT_FALSE(fs::exists(folder.File("W_dq7184.ini.tmp-" + ended + "-9")));
  EXPECT_EQ(ReadFile(path).rfind("; mine\r\n", 0), 0u);
}

TEST(SettingsFileContent, GarbageAndBinaryFiles) {
  dqtest::TempDir folder;
  const std::string path = folder.File("W_dq7184.ini");
  std::mt19937 random(99);
  for (int round = 0; round < 20; ++round) {
    std::string garbage(static_cast<size_t>(random() % 70000), '\0');
    for (auto& c : garbage) c = static_cast<char>(random() % 256);
    WriteFile(path, garbage);
    TConnectionConfig config = DefaultConfig();
    EXPECT_FALSE(ReadSettings(&config, path));
    config.InterfaceType = itDq2847;
    config.IpAddress = "127.0.2.3";
    EXPECT_TRUE(WriteSettings(&config, path));
    const std::string written = ReadFile(path);
    EXPECT_EQ(written.compare(0, garbage.size(), garbage), 0);  // the old bytes stay in front
    TConnectionConfig read = DefaultConfig();
    EXPECT_TRUE(ReadSettings(&read, path));
    EXPECT_EQ(read.InterfaceType, itDq2847);
    EXPECT_EQ(read.IpAddress, "127.0.2.3");
  }
}

TEST(SettingsFileContent, ManyMegabytes) {
  dqtest::TempDir folder;
  const std::string path = folder.File("W_dq7184.ini");
  std::string big;
  big.reserve(40u << 20);
  for (int section = 0; big.size() < (32u << 20); ++section) {
    big += "[Section " + std::to_string(section) + "]\r\n";
    for (int key = 0; key < 50; ++key) big += "Key" + std::to_string(key) + "=value of some length\r\n";
  }
  big += std::string(1u << 20, 'z');  // one line of a megabyte
  big += "\n" + kConnection + "\n" + kInterface + "=PCI-2847\nAdresa=17\n";
  WriteFile(path, big);

  TConnectionConfig config = DefaultConfig();
  EXPECT_TRUE(ReadSettings(&config, path));
  EXPECT_EQ(config.InterfaceType, itPci2847);
  EXPECT_EQ(config.ModuleAddress, 17);
  config.ModuleAddress = 18;
  EXPECT_TRUE(WriteSettings(&config, path));
  const std::string written = ReadFile(path);
  const size_t kept = big.size() - std::string("\nAdresa=17\n").size();
  EXPECT_EQ(written.compare(0, kept, big, 0, kept), 0);
  EXPECT_EQ(written.substr(kept), "\nAdresa=18\nRychlost=9600\r\n");  // the file's first line ends CRLF
}

}  // namespace
