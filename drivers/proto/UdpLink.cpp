#include "UdpLink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "core/ErrorCodes.h"
#include "FrameTap.h"
#include "Protocol.h"
#include "core/BaudRates.h"

namespace dqbus {

namespace {

int32_t SocketErrorCode(int error) {
  switch (error) {
    case ECONNREFUSED: return dqerr::kConnRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN: return dqerr::kNetUnreachable;
    default: return dqerr::kSocket;
  }
}

bool MeansConverterGone(int32_t code) { return code == dqerr::kConnRefused || code == dqerr::kNetUnreachable; }

}  // namespace

bool ParseConverterAddress(const std::string& text, in_addr& address) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos) return false;
  std::string trimmed = text.substr(begin, end - begin + 1);
  in_addr parsed{};
  if (inet_pton(AF_INET, trimmed.c_str(), &parsed) != 1) return false;
  uint32_t host = ntohl(parsed.s_addr);
  if (host == 0 || host >= 0xE0000000u) return false;
  address = parsed;
  return true;
}

int32_t UdpLink::Open(const std::string& ipText, int32_t port, int32_t timeoutMs, std::unique_ptr<UdpLink>& link,
                      Clock& clock) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  if (!ParseConverterAddress(ipText, peer.sin_addr)) return dqerr::kInvalidIp;
  if (port < 1 || port > 65535 || timeoutMs < 0 || timeoutMs > 65535) return dqerr::kInvalidParameter;
  peer.sin_port = htons(static_cast<uint16_t>(port));
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return dqerr::kSocket;
  // A connected socket reports ICMP port unreachable as ECONNREFUSED.
  if (connect(fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
    int error = errno;
    close(fd);
    return SocketErrorCode(error);
  }
  link.reset(new UdpLink(fd, peer, timeoutMs, clock));
  return dqerr::kOk;
}

UdpLink::~UdpLink() { close(fd_); }

int32_t UdpLink::Configure(const LinkSettings& settings) {
  int code = dqcore::BaudCodeOf(settings.baudRate);
  if (code < 0) return dqerr::kBaudRate;
  baudCode_ = static_cast<uint8_t>(code);
  return dqerr::kOk;
}

int32_t UdpLink::Lost(int error) {
  const int32_t code = SocketErrorCode(error);
  if (MeansConverterGone(code)) NoteReconnection();
  return code;
}

int32_t UdpLink::Ready() {
  // An ICMP error that came in since the last exchange says the converter
  // was away for a while: whoever answers now must be identified again.
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0) Lost(error);
  return dqerr::kOk;
}

int32_t UdpLink::BeginAttempt() {
  // Replies of earlier exchanges and errors of earlier attempts are of no
  // interest now. Receive drops replies of other sequence numbers anyway;
  // the drain spares it that work and clears a pending ICMP error. It runs
  // only where the attempt policy lets it (at the first attempt). After an
  // exchange whose reply came, the converter owes nothing more, so there is
  // nothing to drain (and a stray datagram is still dropped by its number).
  const bool clean = replyTaken_ || !DropEarlierInput();
  replyTaken_ = false;
  if (clean) return dqerr::kOk;
  uint8_t scrap[1];
  for (;;) {
    ssize_t n = recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT | MSG_TRUNC);
    if (n >= 0) continue;
    if (errno == EINTR || errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH) continue;
    break;
  }
  return dqerr::kOk;
}

int32_t UdpLink::Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) {
  UdpHeader header;
  header.kind = kUdpKindRequest;
  header.sequence = Transaction();
  header.baudCode = baudCode_;
  uint8_t datagram[kUdpHeaderSize + kRequestSize];
  const size_t length = EncodeUdpInto(header, frame, size, datagram, sizeof datagram);
  if (length == 0) return dqerr::kInvalidParameter;
  for (;;) {
    ssize_t n = send(fd_, datagram, length, 0);
    if (n == static_cast<ssize_t>(length)) {
      if (tap_ != nullptr) tap_->Sent(datagram, length);
      return dqerr::kOk;
    }
    if (n >= 0) return dqerr::kSocket;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Lost(errno);
    pollfd wait{fd_, POLLOUT, 0};
    if (PollUntil(&wait, 1, clock_, deadlineMicros) == 0) return dqerr::kSocket;
  }
}

int32_t UdpLink::Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) {
  arrived = false;
  uint8_t datagram[kUdpHeaderSize + 2 * kReplyMaxSize];
  for (;;) {
    pollfd wait{fd_, POLLIN, 0};
    int ready = PollUntil(&wait, 1, clock_, deadlineMicros);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return dqerr::kSocket;
    if (ready == 0) {
      if (clock_.NowMicros() >= deadlineMicros) return dqerr::kOk;
      continue;
    }
    sockaddr_in source{};
    socklen_t sourceSize = sizeof source;
    ssize_t n = recvfrom(fd_, datagram, sizeof datagram, MSG_TRUNC, reinterpret_cast<sockaddr*>(&source),
                         &sourceSize);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return Lost(errno);
    }
    if (source.sin_family != AF_INET || source.sin_addr.s_addr != peer_.sin_addr.s_addr ||
        source.sin_port != peer_.sin_port) {
      continue;  // not from the converter
    }
    // MSG_TRUNC gives the real length: an oversized datagram is a too long
    // frame, not a cut one.
    size_t size = static_cast<size_t>(n) < sizeof datagram ? static_cast<size_t>(n) : sizeof datagram;
    if (tap_ != nullptr) tap_->Received(datagram, size);
    UdpHeader header;
    const uint8_t* frame = nullptr;
    size_t frameSize = 0;
    if (!DecodeUdp(datagram, size, header, frame, frameSize) || header.kind != kUdpKindReply ||
        !IsOwnTransaction(header.sequence)) {
      continue;  // not ours, or a late reply of an earlier exchange
    }
    out.insert(out.end(), frame, frame + frameSize);
    arrived = true;
    replyTaken_ = true;
    return dqerr::kOk;
  }
}

const UdpLink::Windows& UdpLink::WindowsFor(const LinkSettings& settings) const {
  if (windows_.baudRate != settings.baudRate || windows_.timingMs != settings.timingMs) {
    windows_.baudRate = settings.baudRate;
    windows_.timingMs = settings.timingMs;
    windows_.attempt = LanBusMinimumMicros(settings);
    windows_.retry = LanRetryMinimumMicros(settings);
    windows_.bound = LanExchangeBoundMicros(settings, timeoutMs_);
  }
  return windows_;
}

int64_t UdpLink::ReplyWindowMicros(const LinkSettings& settings) const { return WindowsFor(settings).attempt; }

int64_t UdpLink::ExchangeBoundMicros(const LinkSettings& settings) const { return WindowsFor(settings).bound; }

int64_t UdpLink::RetryMinimumMicros(const LinkSettings& settings) const { return WindowsFor(settings).retry; }

int64_t UdpLink::RestWindowMicros(const LinkSettings&, size_t) const { return 0; }

}  // namespace dqbus
