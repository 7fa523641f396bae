// A serial port that vanishes and comes back, on real pseudo-terminal
// pairs: the next exchanges report "port vanished" at once, and the first
// exchange after the device is back reopens it, with the rate and the
// exclusive lock in force, and the old device let go.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "core/ErrorCodes.h"
#include "Exchange.h"
#include "SerialLine.h"
#include "TestUtil.h"

using dqtest::PtyPair;

namespace {

dqbus::Request ReadInputs() { return dqtest::Req(3, 0, 64); }

// How the link names its device.
enum class Naming {
  kLocator,  // a search that gives the current path (the port map)
  kLink,     // one stable path, a link to the current device (/dev/serial/by-id)
};
// How the device goes.
enum class Going {
  kHangUp,    // the far end closes (an unplugged converter, the simulator's pty)
  kFileGone,  // only the device file goes; the line is silent
};
// What comes back.
enum class Back { kNewDevice, kSameDevice };

TEST(SerialLineReopen, VanishedPortIsReopenedWhenItIsBack) {
  const struct {
    const char* name;
    Naming naming;
    Going going;
    Back back;
  } rows[] = {
      {"hang-up, the search names a new device", Naming::kLocator, Going::kHangUp, Back::kNewDevice},
      {"hang-up, the stable link leads to a new device", Naming::kLink, Going::kHangUp, Back::kNewDevice},
      {"device file gone while silent, a new device back", Naming::kLink, Going::kFileGone, Back::kNewDevice},
      {"device file gone while silent, the same device back", Naming::kLink, Going::kFileGone, Back::kSameDevice},
  };
  // Fast attempts: 115200 Bd, no module latency, no retries.
  const dqbus::LinkSettings settings = dqbus::Clamped(115200, 0, 0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    dqtest::TempDir dir;
    auto first = std::make_unique<PtyPair>();
    std::string current = first->SlavePath();
    const std::string stable = dir.File("port");
    std::unique_ptr<dqbus::SerialLine> port;
    if (row.naming == Naming::kLocator) {
      ASSERT_EQ(dqbus::SerialLine::Open(current, [&current] { return current; }, port), dqerr::kOk);
    } else {
      dir.Symlink(current, "port");
      ASSERT_EQ(dqbus::SerialLine::Open(stable, port), dqerr::kOk);
    }
    ASSERT_EQ(port->Configure(settings), dqerr::kOk);
    // The module stays silent; the request reaching the far end is enough.
    ASSERT_EQ(dqbus::Exchange(*port, dqbus::SteadyClock(), settings, ReadInputs()).code, dqerr::kTimeout);
    EXPECT_FALSE(first->ReadRequest().empty());
    port->ExchangeEnded(true);  // as after a reply: the next attempt checks nothing first

    if (row.going == Going::kHangUp) {
      first->CloseMaster();
    } else {
      ASSERT_EQ(unlink(stable.c_str()), 0);
    }
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) {
      auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), settings, ReadInputs());
      EXPECT_EQ(result.code, dqerr::kPortVanished) << "exchange " << i;
      EXPECT_EQ(result.attempts, 1);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(port->Vanished());
    if (row.going == Going::kFileGone) first->ReadRequest(200);  // the request of the silent attempt

    std::unique_ptr<PtyPair> second;
    PtyPair* device = first.get();
    if (row.back == Back::kNewDevice) {
      second = std::make_unique<PtyPair>();
      device = second.get();
    }
    current = device->SlavePath();
    if (row.naming == Naming::kLink) {
      unlink(stable.c_str());
      dir.Symlink(current, "port");
    }

    EXPECT_EQ(dqbus::Exchange(*port, dqbus::SteadyClock(), settings, ReadInputs()).code, dqerr::kTimeout);
    EXPECT_FALSE(device->ReadRequest().empty()) << "no request on the device that came back";
    EXPECT_FALSE(port->Vanished());
    EXPECT_EQ(port->Path(), row.naming == Naming::kLink ? stable : current);
    termios tio{};
    ASSERT_EQ(tcgetattr(device->Slave(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), static_cast<speed_t>(B115200)) << "the rate in force again";
    std::unique_ptr<dqbus::SerialLine> other;
    EXPECT_EQ(dqbus::SerialLine::Open(current, other), dqerr::kPortBusy) << "the lock in force again";
    if (row.going == Going::kFileGone && row.back == Back::kNewDevice) {
      // The old device, still there, is free again.
      EXPECT_EQ(dqbus::SerialLine::Open(first->SlavePath(), other), dqerr::kOk);
    }
  }
}

TEST(SerialLineReopen, ReopeningRetriesNothingAndNeverWaits) {
  // A port whose device never comes back: every exchange tries one reopen
  // and reports at once, also SetConfig's Configure.
  PtyPair pty;
  std::string current = pty.SlavePath();
  std::unique_ptr<dqbus::SerialLine> port;
  ASSERT_EQ(dqbus::SerialLine::Open(current, [&current] { return current; }, port), dqerr::kOk);
  pty.CloseMaster();
  const dqbus::LinkSettings slow = dqbus::Clamped(600, 5000, 5);  // attempts of seconds, were any made
  ASSERT_EQ(dqbus::Exchange(*port, dqbus::SteadyClock(), slow, ReadInputs()).code, dqerr::kPortVanished);
  const struct {
    const char* name;
    std::string path;
  } rows[] = {
      {"the old path", pty.SlavePath()},
      {"no device found", ""},
      {"a path that does not exist", "/dev/dq7184-no-such-port"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    current = row.path;
    const auto start = std::chrono::steady_clock::now();
    auto result = dqbus::Exchange(*port, dqbus::SteadyClock(), slow, ReadInputs());
    EXPECT_EQ(result.code, dqerr::kPortVanished);
    EXPECT_EQ(result.attempts, 1);
    EXPECT_EQ(port->Configure(slow), dqerr::kPortVanished);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "one attempt lasts 5 s";
  }
}

}  // namespace
