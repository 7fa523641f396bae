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

// util-linux's unshare (children are started without a PATH search); empty
// when it is missing or may not make a pid namespace here.
std::string Unshare() {
  for (const std::string path : {"/usr/bin/unshare", "/bin/unshare"}) {
    if (access(path.c_str(), X_OK) == 0 && std::system((path + " --pid --fork true >/dev/null 2>&1").c_str()) == 0)
      return path;
  }
  return std::string();
}

TEST(SettingsRace, SavesOfTwoProgramsInDifferentPidNamespacesNeverFail) {
  const std::string unshare = Unshare();
  if (unshare.empty()) GTEST_SKIP() << "unshare --pid --fork is missing or not allowed on this machine";
  const struct {
    const char* name;
    bool ownNamespace[2];
  } rows[] = {
      {"each in a pid namespace of its own (both are pid 1)", {true, true}},
      {"one in a pid namespace of its own, one in the test's", {true, false}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const dqtest::TempDir folder;
    faults::ChildProcess writers[2];
    for (int i = 0; i < 2; ++i) {
      std::vector<std::string> argv = {DQ_SETTINGS_WRITER, "--saves", std::to_string(kSavesEach),
                                       folder.File("W_dq7184.ini")};
      if (row.ownNamespace[i]) argv.insert(argv.begin(), {unshare, "--pid", "--fork"});
      ASSERT_TRUE(writers[i].Start(argv));
    }
    for (faults::ChildProcess& writer : writers) {
      std::string line, summary;
      while (writer.ReadLine(line, 120000)) {
        EXPECT_NE(line.rfind("failed: ", 0), 0u) << line;
        summary = line;
      }
      const int status = writer.Reap();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << summary;
      std::printf("%s: %s\n", row.name, summary.c_str());
    }
  }
}

}  // namespace
