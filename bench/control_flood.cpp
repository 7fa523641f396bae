// control_flood: how the simulator's bus keeps its timing while one client
// floods the control socket with commands, how much memory that costs it,
// whether idle connections lock other clients out, and the socket's mode
// under umask 000. dq7184-sim runs as a child on UDP 127.0.0.1 (no
// pseudo-terminal); a UDP client sends one request every 20 ms and times
// each reply, while the flooding client writes MiB of "show" lines and reads
// the answers.
//
//   build/bin/control_flood [MIB...]     (default: 1 8)
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "common/BenchUtil.h"
#include "Frames.h"
#include "LoopbackUdp.h"
#include "TempDir.h"
#include "sim/control/CtlClient.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A field of /proc/PID/status in KiB (VmRSS, VmHWM).
long StatusKiB(pid_t pid, const char* field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, std::strlen(field), field) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
  }
  return -1;
}

class Sim {
 public:
  explicit Sim(const std::string& control) {
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = dqbench::Spawn({dqbench::SelfDir() + "/dq7184-sim", "--no-pty", "--udp-port", "0", "--no-input-pattern",
                           "--control", control},
                          out[1]);
    close(out[1]);
    std::string text;
    char chunk[256];
    const auto start = Clock::now();
    while (text.find("ready\n") == std::string::npos && MsSince(start) < 5000) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      ssize_t n = read(out[0], chunk, sizeof chunk);
      if (n <= 0) break;
      text.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    size_t at = text.find("udp 127.0.0.1:");
    if (at != std::string::npos) port_ = static_cast<uint16_t>(std::atoi(text.c_str() + at + 14));
  }
  ~Sim() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_t Pid() const { return pid_; }
  uint16_t Port() const { return port_; }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
};

int ConnectControl(const std::string& path) {
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct Latency {
  std::vector<double> ms;
  int unanswered = 0;
};

// One request every 20 ms until `done`, each reply awaited up to 5 s.
Latency TimeExchanges(uint16_t port, const std::atomic<bool>& done) {
  Latency result;
  uint16_t local = 0;
  int fd = dqtest::BindLoopbackUdp(local);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (uint16_t sequence = 1; !done.load(); ++sequence) {
    auto datagram = dqtest::RequestDatagram(dqtest::Req(0, 0, 64), sequence, 4);
    const auto sent = Clock::now();
    sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    bool answered = false;
    while (!answered && MsSince(sent) < 5000) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      uint8_t buffer[512];
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      answered = n >= 6 && (buffer[4] | (buffer[5] << 8)) == sequence;
    }
    if (answered) {
      result.ms.push_back(MsSince(sent));
    } else {
      ++result.unanswered;
    }
    std::this_thread::sleep_until(sent + std::chrono::milliseconds(20));
  }
  close(fd);
  return result;
}

void Flood(int mib) {
  dqtest::TempDir dir;
  const std::string control = dir.File("ctl.sock");
  Sim sim(control);
  if (sim.Port() == 0) {
    std::printf("flood %d MiB: the simulator did not start\n", mib);
    return;
  }
  const long rssBefore = StatusKiB(sim.Pid(), "VmRSS:");
  std::atomic<bool> done{false};
  Latency latency;
  std::thread timer([&] { latency = TimeExchanges(sim.Port(), done); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a few exchanges before

  int fd = ConnectControl(control);
  size_t answered = 0;  // bytes of answers
  std::thread reader([&] {
    char chunk[65536];
    for (;;) {
      ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      answered += static_cast<size_t>(n);
    }
  });
  const auto start = Clock::now();
  const std::string line = "show\n";
  std::string block;
  while (block.size() < 65536) block += line;
  const size_t total = static_cast<size_t>(mib) << 20;
  size_t written = 0;
  while (written < total) {
    ssize_t n = send(fd, block.data(), std::min(block.size(), total - written), MSG_NOSIGNAL);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  const double writeMs = MsSince(start);
  shutdown(fd, SHUT_WR);
  reader.join();
  const double allMs = MsSince(start);
  close(fd);
  const long peak = StatusKiB(sim.Pid(), "VmHWM:");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a few exchanges after
  done = true;
  timer.join();

  std::vector<double> sorted = latency.ms;
  std::sort(sorted.begin(), sorted.end());
  const double worst = sorted.empty() ? 0 : sorted.back();
  const double p99 = sorted.empty() ? 0 : sorted[sorted.size() * 99 / 100];
  const long over = std::count_if(sorted.begin(), sorted.end(), [](double ms) { return ms > 200; });
  std::printf(
      "flood %2d MiB: written in %6.0f ms, %5zu MiB of answers in %6.0f ms | bus: %4zu exchanges, median %.2f ms, "
      "p99 %.2f ms, worst %.1f ms, %ld over 200 ms, %d unanswered | memory: %ld KiB before, peak %ld KiB\n",
      mib, writeMs, answered >> 20, allMs, sorted.size(), dqbench::Median(latency.ms), p99, worst, over,
      latency.unanswered, rssBefore, peak);
}

// Forty idle connections, then one client with one command.
void IdleClients() {
  dqtest::TempDir dir;
  const std::string control = dir.File("ctl.sock");
  Sim sim(control);
  std::vector<int> idle;
  for (int i = 0; i < 40; ++i) idle.push_back(ConnectControl(control));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string answer, error;
  const auto start = Clock::now();
  const bool ok = dqsim::SendControlLine(control, "stats", answer, error, 3000);
  if (!answer.empty()) answer.pop_back();
  std::printf("40 idle connections: a 41st client's \"stats\": %s (%.0f ms)\n",
              ok ? answer.substr(answer.rfind('\n') + 1).c_str() : error.c_str(), MsSince(start));
  for (int fd : idle) {
    if (fd >= 0) close(fd);
  }
}

void SocketMode() {
  dqtest::TempDir dir;
  const std::string control = dir.File("ctl.sock");
  const mode_t old = umask(0);
  {
    Sim sim(control);
    struct stat st{};
    if (stat(control.c_str(), &st) == 0) {
      std::printf("control socket under umask 000: mode %03o\n", static_cast<unsigned>(st.st_mode & 0777));
    }
  }
  umask(old);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {1, 8};
  for (int mib : sizes) Flood(mib);
  IdleClients();
  SocketMode();
  return 0;
}
