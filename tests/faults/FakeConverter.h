// A stand-in for the LAN converter DQ-2847 on 127.0.0.1, written for the
// hostile cases the simulator does not produce: each request datagram is
// answered by a plan that may send any bytes from the converter's socket,
// from another port, or from another loopback address (127.0.0.2).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "Protocol.h"

namespace faults {

class FakeConverter {
 public:
  enum Source { kConverter, kOtherPort, kOtherAddress };
  struct Datagram {
    Source source;
    std::vector<uint8_t> bytes;
  };
  // What to send for one request (header and decoded frame).
  using Plan = std::function<std::vector<Datagram>(const dqbus::UdpHeader&, const dqbus::Request&)>;

  FakeConverter() = default;
  ~FakeConverter();
  FakeConverter(const FakeConverter&) = delete;
  FakeConverter& operator=(const FakeConverter&) = delete;

  // Binds the three sockets and starts answering; false when it cannot.
  bool Start();
  uint16_t Port() const { return port_; }
  void SetPlan(Plan plan);
  int Requests() const { return requests_.load(); }

  // A reply datagram for the request's header carrying `frame`.
  static std::vector<uint8_t> ReplyDatagram(const dqbus::UdpHeader& request, const std::vector<uint8_t>& frame);
  // A reply frame to the request (its transaction number, address and
  // command) whose count byte and data are as given, with a matching CRC.
  static std::vector<uint8_t> Frame(const dqbus::Request& request, uint8_t count, const std::vector<uint8_t>& data);

 private:
  void Loop();

  int sockets_[3] = {-1, -1, -1};
  uint16_t port_ = 0;
  std::mutex mu_;
  Plan plan_;
  std::atomic<bool> stop_{false};
  std::atomic<int> requests_{0};
  std::thread thread_;
};

}  // namespace faults
