// Once warm, an exchange allocates nothing: neither ModuleExchange with the
// real COM-port and LAN libraries nor the simulated module answering it (in
// this process, over a pseudo-terminal mapped as COM9 and over UDP on
// 127.0.0.1). Counted by replacing the global operator new of this program.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "InProcessSim.h"
#include "sim/simulator/Simulator.h"
#include "Txxx847.h"

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

}  // namespace

// The replacement pair hands malloc's memory out and back; the compiler's
// check for mismatched pairs does not see that they belong together.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

constexpr uint8_t kAddress = 1;
constexpr int kComPort = 9;

struct Row {
  const char* name;
  TInterfaceType type;
  uint8_t command, subcode, b4, b5;
  bool succeeds;
};

class ExchangeAllocations : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    const std::string error = sim_.Start(dqtest::OneModule(kAddress, kComPort));
    ASSERT_TRUE(error.empty()) << error;
    intptr_t params[kInitParamCount] = {};
    if (GetParam().type == itComPort) {
      params[0] = kComPort;
    } else {
      params[0] = reinterpret_cast<intptr_t>(ip_.c_str());
      params[1] = sim_->UdpPort();
      params[2] = 500;
    }
    ASSERT_EQ(DriverInit(GetParam().type, handle_, params), 0);
    ASSERT_EQ(DriverSetConfig(GetParam().type, handle_, 9600, 13, 2), 0);
  }

  void TearDown() override {
    g_counting = false;
    if (DriverIsBound()) DriverDone(GetParam().type, handle_);
    sim_.Stop();
  }

  // Exchanges; returns how many were answered with status 0.
  int Run(int count) {
    const Row& row = GetParam();
    int ok = 0;
    for (int i = 0; i < count; ++i) {
      uint8_t b3 = 0, b4 = row.b4, b5 = row.b5, b6 = 0, b7 = 0, status = 0xEE;
      ModuleExchange(row.type, handle_, kAddress, row.command, row.subcode, b3, b4, b5, b6, b7, status, reply_);
      if (status == 0) ++ok;
    }
    return ok;
  }

  std::string ip_ = "127.0.0.1";
  dqtest::InProcessSim sim_;
  int32_t handle_ = 0;
  TExchangeReply reply_{};
};

TEST_P(ExchangeAllocations, NoneOnceWarm) {
  constexpr int kWarm = 20, kCounted = 200;
  const int expected = GetParam().succeeds ? kWarm : 0;
  ASSERT_EQ(Run(kWarm), expected);
  g_allocations = 0;
  g_counting = true;
  const int ok = Run(kCounted);
  g_counting = false;
  EXPECT_EQ(ok, GetParam().succeeds ? kCounted : 0);
  EXPECT_EQ(g_allocations.load(), 0);
}

const Row kRows[] = {
    {"Udp_Inputs", itDq2847, 0, 64, 0, 0, true},
    {"Udp_Counters", itDq2847, 202, 3, 0, 0, true},
    {"Udp_Register", itDq2847, 102, 0, 0x3F, 0x3F, true},
    {"Udp_UnknownCommand", itDq2847, 55, 0, 0, 0, false},
    {"Com_Inputs", itComPort, 0, 64, 0, 0, true},
    {"Com_Counters", itComPort, 202, 3, 0, 0, true},
    {"Com_UnknownCommand", itComPort, 55, 0, 0, 0, false},
};

INSTANTIATE_TEST_SUITE_P(Links, ExchangeAllocations, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
