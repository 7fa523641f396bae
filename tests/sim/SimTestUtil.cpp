#include "SimTestUtil.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "sim/lines/StreamPort.h"

namespace simtest {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/dqsim-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = buffer.data();
}

TempDir::~TempDir() {
  nftw(
      path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); }, 8,
      FTW_DEPTH | FTW_PHYS);
}

dqbus::Request Req(uint8_t address, uint8_t command, uint8_t subcode, std::array<uint8_t, 5> params) {
  dqbus::Request r;
  r.address = address;
  r.command = command;
  r.subcode = subcode;
  r.params = params;
  return r;
}

std::vector<uint8_t> Frame(const dqbus::Request& request) {
  auto frame = dqbus::EncodeRequest(request);
  return std::vector<uint8_t>(frame.begin(), frame.end());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

UdpClient::UdpClient(uint16_t serverPort) : port_(serverPort) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
}

UdpClient::~UdpClient() {
  if (fd_ >= 0) close(fd_);
}

void UdpClient::SendRaw(const std::vector<uint8_t>& datagram) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

void UdpClient::Send(const dqbus::Request& request, uint16_t sequence, uint8_t baudCode) {
  dqbus::UdpHeader header;
  header.kind = dqbus::kUdpKindRequest;
  header.sequence = sequence;
  header.baudCode = baudCode;
  auto frame = dqbus::EncodeRequest(request);
  SendRaw(dqbus::EncodeUdp(header, frame.data(), frame.size()));
}

std::optional<std::vector<uint8_t>> UdpClient::Receive(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
  std::vector<uint8_t> datagram(65536);
  ssize_t n = recv(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT);
  if (n < 0) return std::nullopt;
  datagram.resize(static_cast<size_t>(n));
  return datagram;
}

PtyClient::PtyClient(const std::string& path, uint32_t rate) {
  fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return;
  dqsim::MakeRawLine(fd_, rate, nullptr);
  tcflush(fd_, TCIOFLUSH);
}

PtyClient::~PtyClient() {
  if (fd_ >= 0) close(fd_);
}

void PtyClient::SetRate(uint32_t rate) { dqsim::MakeRawLine(fd_, rate, nullptr); }

void PtyClient::Write(const std::vector<uint8_t>& bytes) {
  ssize_t n = write(fd_, bytes.data(), bytes.size());
  (void)n;
}

std::vector<uint8_t> PtyClient::Read(size_t count, int timeoutMs) {
  std::vector<uint8_t> out;
  int64_t deadline = NowMs() + timeoutMs;
  while (out.size() < count) {
    int64_t left = deadline - NowMs();
    if (left <= 0) break;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
    uint8_t buffer[512];
    ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

std::vector<uint8_t> PtyClient::ReadReplyFrame(int timeoutMs) {
  std::vector<uint8_t> frame = Read(dqbus::kReplyHeaderSize, timeoutMs);
  if (frame.size() < dqbus::kReplyHeaderSize) return frame;
  std::vector<uint8_t> rest = Read(frame[dqbus::kReplyCountOffset] + 2u, timeoutMs);
  frame.insert(frame.end(), rest.begin(), rest.end());
  return frame;
}

}  // namespace simtest
