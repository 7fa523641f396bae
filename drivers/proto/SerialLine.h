// Serial line transport: a termios port in raw 8N1, opened exclusively.
// A port that vanishes (a USB converter unplugged, a pseudo-terminal whose
// far end closed) is looked for again at the start of each later exchange
// and reopened with the settings in force, under the same link.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <functional>
#include <memory>
#include <string>

#include "Clock.h"
#include "Transport.h"

namespace dqbus {

class SerialLine final : public Transport {
 public:
  // Gives the path of the link's device as it is now, empty when there is
  // none (the port map entry, a card or converter search).
  using Locator = std::function<std::string()>;

  // Opens and locks the device (O_NOCTTY | O_NONBLOCK, TIOCEXCL, flock) and
  // sets it to raw 8N1 at the default rate; a pseudo-terminal master is
  // refused as no port. Returns a dqerr code; on success port holds the
  // open port. After the port vanished, locate (or, without one, the same
  // path again) names the device to reopen: it must name only the device
  // opened first, never search wider.
  static int32_t Open(const std::string& path, std::unique_ptr<SerialLine>& port, Clock& clock = SteadyClock());
  static int32_t Open(const std::string& path, Locator locate, std::unique_ptr<SerialLine>& port,
                      Clock& clock = SteadyClock());
  ~SerialLine() override;
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  // The device open now (or last open, while vanished).
  const std::string& Path() const { return path_; }
  bool Vanished() const { return vanished_; }

  // Reopens a vanished port (see Reopen).
  int32_t Ready() override;
  bool CarriesDatagrams() const override { return false; }
  int32_t Configure(const LinkSettings& settings) override;
  int32_t BeginAttempt() override;
  int32_t Write(const uint8_t* frame, size_t size, int64_t deadlineMicros) override;
  int32_t Receive(int64_t deadlineMicros, std::vector<uint8_t>& out, bool& arrived) override;
  int64_t ReplyWindowMicros(const LinkSettings& settings) const override;
  int64_t RestWindowMicros(const LinkSettings& settings, size_t missingBytes) const override;
  // Told after each exchange whether its last attempt took its own reply:
  // the next attempt then skips the hang-up and device checks and the
  // flush, which only matter after a silent or broken attempt.
  void ExchangeEnded(bool replyTaken);

 private:
  SerialLine(int fd, dev_t device, std::string path, Locator locate, Clock& clock)
      : fd_(fd), device_(device), path_(std::move(path)), locate_(std::move(locate)), clock_(clock) {}
  // Marks the port vanished for the errno of a failed call when it means
  // that the device is gone; returns the code to report.
  int32_t Failed(int error, int32_t otherwise);
  bool DeviceGone() const;
  // One attempt, without waiting, to open the device again: kOk;
  // kPortAccess or kPortBusy when it is back but refuses this process;
  // kPortVanished when it is not (yet) back.
  int32_t Reopen();
  void CloseDevice();

  int fd_;
  dev_t device_;  // device number of the open port
  std::string path_;
  Locator locate_;
  Clock& clock_;
  speed_t speed_ = B9600;     // the rate in force, applied again on reopening
  bool vanished_ = false;
  bool replyTaken_ = false;   // the previous attempt took its reply: nothing to check or flush
};

}  // namespace dqbus
