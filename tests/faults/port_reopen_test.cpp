// A serial port that vanishes under an open link and comes back (the
// simulator's pseudo-terminal closed, then opened anew under a new path
// that the port map follows) is reopened by the COM library on a later
// exchange, under the same handle and without a new Init: meanwhile every
// exchange reports 10 "Port byl odpojen" at once, afterwards the module's
// values come back.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/ErrorCodes.h"
#include "LinkSim.h"
#include "PtyPair.h"
#include "Txxx847.h"

namespace {

constexpr uint8_t kAddress = 3;
// Generous: nothing may hang, whatever the machine's load.
constexpr auto kNoHang = std::chrono::seconds(5);

struct Inputs {
  uint8_t status = 0xEE;
  uint32_t image = 0xDEADBEEF;
};

class PortReopen : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sim_.Start(LinkSimOptions(false)), "");
    ASSERT_TRUE(link_.Open(itComPort));
  }

  Inputs ReadInputs() {
    uint8_t b3 = 0, b4 = 0, b5 = 0, b6 = 0, b7 = 0;
    Inputs inputs;
    TExchangeReply reply{};
    const auto start = std::chrono::steady_clock::now();
    ModuleExchange(itComPort, link_.Handle(), kAddress, 0, 64, b3, b4, b5, b6, b7, inputs.status, reply);
    EXPECT_LT(std::chrono::steady_clock::now() - start, kNoHang);
    inputs.image = b4 | b5 << 8 | b6 << 16 | static_cast<uint32_t>(b7) << 24;
    return inputs;
  }

  dqtest::InProcessSim sim_;
  OpenedLink link_;
};

TEST_F(PortReopen, VanishedPortIsReopenedByALaterExchange) {
  const struct {
    const char* name;
    int exchangesWhileAway;
    uint32_t before;
    uint32_t after;
  } rows[] = {
      {"away for three exchanges", 3, 0x11223344, 0xA5A50F0F},
      {"back before the next exchange", 0, 0x00000001, 0x80000000},
      {"away for one exchange", 1, 0xFFFFFFFF, 0x00000000},
  };
  const int32_t handle = link_.Handle();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    sim_->SetInputs(0, row.before);
    Inputs seen = ReadInputs();
    ASSERT_EQ(seen.status, 0);
    EXPECT_EQ(seen.image, row.before);

    std::string error;
    {
      // While the port map names the old path, its number stays unused: in
      // a parallel run the next pseudo-terminal of another test gets it.
      dqtest::PtyNumberHold number(sim_->PtyPath());
      ASSERT_TRUE(number.Held());
      ASSERT_TRUE(sim_->Disappear("pty", &error)) << error;
      for (int i = 0; i < row.exchangesWhileAway; ++i) {
        seen = ReadInputs();
        EXPECT_EQ(seen.status, dqerr::kPortVanished);
        EXPECT_EQ(seen.image, 0u);
      }
      ASSERT_TRUE(sim_->Appear(&error)) << error;
    }
    sim_->SetInputs(0, row.after);

    // A port that went away between two exchanges is noticed by the first
    // one after (its write meets the hang-up); one that was noticed while
    // it was away is reopened by the first exchange after it came back.
    seen = ReadInputs();
    if (row.exchangesWhileAway == 0) {
      EXPECT_EQ(seen.status, dqerr::kPortVanished);
      seen = ReadInputs();
    }
    EXPECT_EQ(seen.status, 0);
    EXPECT_EQ(seen.image, row.after);
    EXPECT_EQ(ReadInputs().image, row.after);
  }
  EXPECT_EQ(link_.Handle(), handle);
}

}  // namespace
