// Two programs saving the settings file into one folder at the same time,
// from different pid namespaces: each one's clean-up of leftover temporary
// files must never remove a temporary file the other is about to rename,
// although the pid in its name means nothing (or another process) there.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDir.h"

namespace {

constexpr int kSavesEach = 3000;

// util-linux's unshare (children are started without a PATH search).
std::string Unshare() {
  for (const char* path : {"/usr/bin/unshare", "/bin/unshare"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return std::string();
}

// Whether this machine lets us start a process in a pid namespace of its own.
bool PidNamespacesAllowed() {
  return !Unshare().empty() && std::system((Unshare() + " --pid --fork true >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> WriterCommand(bool ownNamespace, const std::string& path) {
  std::vector<std::string> argv;
  if (ownNamespace) argv = {Unshare(), "--pid", "--fork"};
  for (const char* arg : {DQ_SETTINGS_WRITER, "--saves"}) argv.push_back(arg);
  argv.push_back(std::to_string(kSavesEach));
  argv.push_back(path);
  return argv;
}

TEST(SettingsRace, SavesOfTwoProgramsInDifferentPidNamespacesNeverFail) {
  if (!PidNamespacesAllowed()) {
    GTEST_SKIP() << "unshare --pid --fork is missing or not allowed on this machine, so the race across pid "
                    "namespaces cannot be set up";
  }
  struct Row {
    const char* name;
    bool firstOwnNamespace;
    bool secondOwnNamespace;
  };
  const Row rows[] = {
      {"each in a pid namespace of its own (both are pid 1)", true, true},
      {"one in a pid namespace of its own, one in the test's", true, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const dqtest::TempDir folder;
    const std::string path = folder.File("W_dq7184.ini");
    faults::ChildProcess first, second;
    ASSERT_TRUE(first.Start(WriterCommand(row.firstOwnNamespace, path)));
    ASSERT_TRUE(second.Start(WriterCommand(row.secondOwnNamespace, path)));
    int failed = 0;
    for (faults::ChildProcess* writer : {&first, &second}) {
      std::string line, summary;
      while (writer->ReadLine(line, 120000)) {
        if (line.rfind("failed: ", 0) == 0 && failed++ < 3) ADD_FAILURE() << line;
        summary = line;
      }
      const int status = writer->Reap();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << summary;
      std::printf("%s: %s\n", row.name, summary.c_str());
    }
    EXPECT_EQ(failed, 0) << "saves failed out of " << 2 * kSavesEach;
  }
}

}  // namespace
