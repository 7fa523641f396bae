// LAN converter transport: one request frame per UDP datagram to the
// converter's IP address and port, replies accepted only from there and
// only with the sequence number of an attempt of the running exchange (the
// sequence number is the carried request's transaction number).
#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

#include "Clock.h"
#include "Transport.h"

namespace dqbus {

// Parses a dotted IPv4 address ("127.0.0.1"; blanks around it are
// ignored). Refuses 0.0.0.0, 255.255.255.255 and multicast or reserved
// addresses (224.0.0.0 and above), which cannot be a converter.
bool ParseConverterAddress(const std::string& text, in_addr& address);

class UdpLink final : public Transport {
 public:
  // Returns a dqerr code (kInvalidIp, kInvalidParameter, kSocket,
  // kNetUnreachable); on success link holds the connected socket.
  // timeoutMs is the UdpTimeout, the bound of a whole exchange (0-65535;
  // never less than the bus needs for the longest exchange).
  static int32_t Open(const std::string& ipText, int32_t port, int32_t timeoutMs, std::unique_ptr<UdpLink>& link,
                      Clock& clock = SteadyClock());
  ~UdpLink() override;
  UdpLink(const UdpLink&) = delete;
  UdpLink& operator=(const UdpLink&) = delete;

  uint16_t Sequence() const { return Transaction(); }
  int32_t TimeoutMs() const { return timeoutMs_; }

  // Notes a converter found away since the last exchange (see Lost).
  int32_t Ready() override;
  bool CarriesDatagrams() const override { return true; }
  int32_t Configure(const LinkSettings& settings) override;
  int32_t BeginAttempt() override;
  int32_t Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) override;
  int32_t Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) override;
  int64_t ReplyWindowMicros(const LinkSettings& settings) const override;
  int64_t RestWindowMicros(const LinkSettings& settings, size_t missingBytes) const override;
  int64_t ExchangeBoundMicros(const LinkSettings& settings) const override;
  int64_t RetryMinimumMicros(const LinkSettings& settings) const override;

 private:
  UdpLink(int fd, const sockaddr_in& peer, int32_t timeoutMs, Clock& clock)
      : fd_(fd), peer_(peer), timeoutMs_(timeoutMs), clock_(clock) {}

  // The windows of the settings in use, computed once when they change
  // rather than in every exchange.
  struct Windows {
    uint32_t baudRate = 0;
    int32_t timingMs = -1;
    int64_t attempt = 0;  // LanBusMinimumMicros
    int64_t retry = 0;    // LanRetryMinimumMicros
    int64_t bound = 0;    // LanExchangeBoundMicros
  };
  const Windows& WindowsFor(const LinkSettings& settings) const;
  // The code of a socket error; a refusing or unreachable converter counts
  // as a reconnection, since another one may answer at its address next.
  int32_t Lost(int error);

  int fd_;
  sockaddr_in peer_;
  int32_t timeoutMs_;
  uint8_t baudCode_ = 4;
  bool replyTaken_ = false;  // the current attempt's reply has arrived
  Clock& clock_;
  mutable Windows windows_;
};

}  // namespace dqbus
