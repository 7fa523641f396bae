// The dq7184-sim executable: start-up report, control through "ctl", and a
// clean end on SIGTERM.
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "PortMap.h"
#include "TempDir.h"
#include "SimTestUtil.h"
#include "sim/model/StateFile.h"

extern char** environ;

namespace {

struct Child {
  pid_t pid = -1;
  int out = -1;  // its standard output
};

Child Spawn(const std::vector<std::string>& args) {
  Child child;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return child;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) child.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  child.out = pipeFds[0];
  return child;
}

// Output up to and including the line `until`, or what came within timeoutMs.
std::string ReadUntil(int fd, const std::string& until, int timeoutMs = 10000) {
  std::string text;
  while (text.find(until) == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) break;
    char buffer[512];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

// Exit status, or -1 when the child did not end within timeoutMs.
int WaitExit(pid_t pid, int timeoutMs = 10000) {
  for (int waited = 0; waited < timeoutMs; waited += 5) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    usleep(5000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

TEST(ProgramTest, StartsReportsItsLinesAndEndsCleanlyOnSigterm) {
  dqtest::TempDir dir;
  const std::string map = dir.File("ports.conf");
  const std::string control = dir.File("ctl.sock");
  Child child = Spawn({DQ_SIM_BINARY, "--udp-port", "0", "--com", "6", "--port-map", map, "--control", control,
                       "--state", dir.File("state"), "-a", "3"});
  ASSERT_GT(child.pid, 0);
  std::string out = ReadUntil(child.out, "ready\n");
  ASSERT_NE(out.find("ready\n"), std::string::npos) << out;
  EXPECT_NE(out.find("module 3 baud-code 4 (9600 Bd)\n"), std::string::npos) << out;
  EXPECT_NE(out.find("pty /dev/pts/"), std::string::npos) << out;
  EXPECT_NE(out.find("udp 127.0.0.1:"), std::string::npos) << out;
  ASSERT_TRUE(dqports::LookupIn(map, 6));

  Child ctl = Spawn({DQ_SIM_BINARY, "ctl", "--control", control, "reg", "@3", "0x3f"});
  EXPECT_EQ(ReadUntil(ctl.out, "\n"), "3\n");
  EXPECT_EQ(WaitExit(ctl.pid), 0);
  close(ctl.out);

  kill(child.pid, SIGTERM);
  EXPECT_EQ(WaitExit(child.pid), 0);
  close(child.out);
  EXPECT_FALSE(dqports::LookupIn(map, 6));
  EXPECT_NE(access(control.c_str(), F_OK), 0);
  dqsim::SimState state;
  bool missing = false;
  std::string error;
  EXPECT_TRUE(dqsim::LoadStateFile(dir.File("state"), state, missing, &error)) << error;
}

TEST(ProgramTest, HelpAndBadOptions) {
  Child help = Spawn({DQ_SIM_BINARY, "--help"});
  EXPECT_NE(ReadUntil(help.out, "Example:").find("Usage: dq7184-sim"), std::string::npos);
  EXPECT_EQ(WaitExit(help.pid), 0);
  close(help.out);
  Child bad = Spawn({DQ_SIM_BINARY, "--address", "1000"});
  EXPECT_EQ(WaitExit(bad.pid), 2);
  close(bad.out);
}

TEST(ProgramTest, UdpPortInUseIsReportedNotIgnored) {
  dqtest::TempDir dir;
  Child first = Spawn({DQ_SIM_BINARY, "--no-pty", "--udp-port", "0", "--control", dir.File("a.sock")});
  std::string out = ReadUntil(first.out, "ready\n");
  size_t at = out.find("udp 127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << out;
  std::string port = out.substr(at + 14, out.find('\n', at) - at - 14);
  Child second = Spawn({DQ_SIM_BINARY, "--no-pty", "--udp-port", port});
  EXPECT_EQ(WaitExit(second.pid), 1);
  close(second.out);
  kill(first.pid, SIGINT);
  EXPECT_EQ(WaitExit(first.pid), 0);
  close(first.out);
}

}  // namespace
