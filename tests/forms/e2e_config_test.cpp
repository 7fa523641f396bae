// Configuration windows end to end: the real LAN library carries their
// register sequences over UDP on 127.0.0.1 to a simulated module running in
// this process. What one window writes, the module's registers hold and a
// fresh window reads back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <string>

#include "Citac618.h"
#include "FormsHarness.h"
#include "NastavAdr.h"
#include "NastavDIO.h"
#include "e2e_fixture.h"

using harness::Q;

namespace {

class ConfigE2E : public SimLinkTest {
 protected:
  void SetUp() override { StartAndConnect(); }

  void Open(TConfigWindow& window) {
    window.SetConfig(&config_);
    window.show();
    harness::Settle();
  }
  std::array<uint8_t, 64> Registers() { return sim_->Snapshot(0).registers; }
};

TEST_F(ConfigE2E, AddressAndRateReachTheModuleAndReadBack) {
  TForm12 writer;
  Open(writer);
  harness::Type(&writer, "Edit1", "0x2A");
  harness::Find<QComboBox>(&writer, "ComboBox1")->setCurrentIndex(8);
  harness::Click(&writer, "Button1");
  ASSERT_EQ(writer.StatusText(), Q(" Konfigurace zapsána."));
  EXPECT_EQ(Registers()[0x3F], 42);
  EXPECT_EQ(Registers()[0x3E], 8);
  // The module keeps answering at its old address until it restarts, and
  // the link keeps using that address.
  EXPECT_EQ(sim_->Snapshot(0).address, kSimAddress);
  EXPECT_EQ(config_.ModuleAddress, kSimAddress);

  TForm12 reader;
  Open(reader);
  EXPECT_EQ(harness::EditText(&reader, "Edit1"), "1");  // the stored block, not the module
  harness::Click(&reader, "Button2");
  EXPECT_EQ(reader.StatusText(), Q(" Konfigurace přečtena."));
  EXPECT_EQ(harness::EditText(&reader, "Edit1"), "42");
  EXPECT_EQ(harness::Find<QComboBox>(&reader, "ComboBox1")->currentIndex(), 8);
}

TEST_F(ConfigE2E, DigitalIoMasksReachTheModuleAndReadBack) {
  TForm14 writer;
  Open(writer);
  for (int box = 1; box <= 96; ++box) harness::SetChecked(&writer, QStringLiteral("CheckBox%1").arg(box), false);
  for (int box : {10, 32, 33, 64, 65, 96}) harness::SetChecked(&writer, QStringLiteral("CheckBox%1").arg(box), true);
  harness::Click(&writer, "Button1");
  ASSERT_EQ(writer.StatusText(), Q(" Konfigurace zapsána."));
  sim_->WithModule(0, [](dqsim::Module& module) {
    EXPECT_EQ(module.Registers().DinNegation(), 0x80000200u);      // DIN9, DIN31
    EXPECT_EQ(module.Registers().DoutNegation(), 0x80000001u);     // DOUT0, DOUT31
    EXPECT_EQ(module.Registers().DoutInitialState(), 0x80000001u);
  });

  TForm14 reader;
  Open(reader);
  harness::Click(&reader, "Button2");
  EXPECT_EQ(reader.StatusText(), Q(" Konfigurace přečtena."));
  for (int box = 1; box <= 96; ++box) {
    const bool expected = box == 10 || box == 32 || box == 33 || box == 64 || box == 65 || box == 96;
    EXPECT_EQ(harness::IsChecked(&reader, QStringLiteral("CheckBox%1").arg(box)), expected) << box;
  }
}

TEST_F(ConfigE2E, PulseNumbersReachTheModuleAndReadBack) {
  TForm5 writer;
  Open(writer);
  const char* values[] = {"1000", "1", "256", "999"};
  for (int i = 0; i < 4; ++i) harness::Type(&writer, QStringLiteral("Edit%1").arg(i + 1), values[i]);
  harness::Click(&writer, "Button1");
  ASSERT_EQ(writer.StatusText(), Q(" Konfigurace zapsána."));
  EXPECT_EQ(Registers()[0], 232);
  EXPECT_EQ(Registers()[1], 3);
  sim_->WithModule(0, [](dqsim::Module& module) {
    EXPECT_EQ(module.Registers().PulseNumber(2), 256);
    EXPECT_EQ(module.Registers().PulseNumber(3), 999);
  });

  TForm5 reader;
  Open(reader);
  harness::Click(&reader, "Button2");
  EXPECT_EQ(reader.StatusText(), Q(" Konfigurace přečtena."));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(harness::EditText(&reader, QStringLiteral("Edit%1").arg(i + 1)), values[i]);
}

TEST_F(ConfigE2E, NoModuleAtTheAddressShowsTheLibraryTextAndChangesNothing) {
  config_.ModuleAddress = kSimAddress + 1;
  config_.ModuleSetup.PulseNumber[0] = 77;
  TForm5 form;
  Open(form);
  harness::Click(&form, "Button2");
  const QString status = form.StatusText();
  EXPECT_TRUE(status.startsWith(' '));
  EXPECT_GT(status.size(), 1);
  EXPECT_FALSE(status.startsWith(Q(" Probíhá")));
  EXPECT_EQ(harness::EditText(&form, "Edit1"), "77");
}

}  // namespace
