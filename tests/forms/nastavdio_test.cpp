// Digital I/O settings window against the scripted driver: the twelve
// registers in their interleaved order, the bit of every check box, partial
// reads, read-back mismatches and "Ok".
#include <QCheckBox>
#include <QGroupBox>

#include "NastavDIO.h"
#include "test_configwindow_fixture.h"

using harness::Q;
using namespace configtest;

namespace {

const std::vector<uint8_t> kStepRegisters = {0x20, 0x23, 0x26, 0x29, 0x21, 0x24, 0x27, 0x2A, 0x22, 0x25, 0x28, 0x2B};
// Byte of the block that each step handles.
const std::vector<int> kStepBytes = {18, 19, 20, 21, 10, 11, 12, 13, 14, 15, 16, 17};

QString Box(int number) { return QStringLiteral("CheckBox%1").arg(number); }

uint8_t BlockByte(const TModuleSetup& setup, int index) { return reinterpret_cast<const uint8_t*>(&setup)[index]; }

class Form14Test : public ConfigWindowTest {
 protected:
  void ClearAll() {
    for (int box = 1; box <= 96; ++box) harness::SetChecked(&form_, Box(box), false);
  }
  // Scripts twelve verified writes of `values` (by step).
  static void QueueVerifiedWrites(const std::vector<uint8_t>& values) {
    for (uint8_t value : values) QueueVerifiedWrite(value);
  }
  // The 24 requests of a write of `values` (by step).
  static std::vector<Request> WriteRequests(const std::vector<uint8_t>& values) {
    std::vector<Request> requests;
    for (size_t step = 0; step < values.size(); ++step) {
      requests.push_back(WriteRequest(kStepRegisters[step], values[step]));
      requests.push_back(ReadRequest(kStepRegisters[step]));
    }
    return requests;
  }

  TForm14 form_;
};

// ---- Controls -------------------------------------------------------------

TEST_F(Form14Test, GroupsAndBoxesCarryTheirCaptionsAndStartClear) {
  EXPECT_EQ(form_.windowTitle(), Q("Nastavení digitálních vstupů/výstupů"));
  const char* groups[][2] = {{"GroupBox1", " Negace DIN "}, {"GroupBox2", "Negace DOUT "},
                             {"GroupBox3", " Počáteční stav DOUT "}};
  for (auto& group : groups) {
    auto* box = harness::Find<QGroupBox>(&form_, group[0]);
    ASSERT_NE(box, nullptr) << group[0];
    EXPECT_EQ(box->title(), Q(group[1]));
  }
  for (int k = 0; k < 32; ++k) {
    const int boxes[3] = {1 + k, 33 + k, 65 + k};
    const QString captions[3] = {QStringLiteral("DIN%1").arg(k), QStringLiteral("DOUT%1").arg(k),
                                 QStringLiteral("DOUT%1").arg(k)};
    for (int g = 0; g < 3; ++g) {
      auto* check = harness::Find<QCheckBox>(&form_, Box(boxes[g]));
      ASSERT_NE(check, nullptr) << boxes[g];
      EXPECT_EQ(check->text(), captions[g]);
      EXPECT_FALSE(check->isChecked());
      EXPECT_EQ(check->parentWidget()->objectName(), QStringLiteral("GroupBox%1").arg(g + 1));
    }
  }
}

TEST_F(Form14Test, FirstOpeningShowsTheDefaults) {
  Open(form_);
  for (int box = 1; box <= 64; ++box) EXPECT_TRUE(harness::IsChecked(&form_, Box(box))) << box;
  for (int box = 65; box <= 96; ++box) EXPECT_FALSE(harness::IsChecked(&form_, Box(box))) << box;
  EXPECT_TRUE(Sent().empty());
}

// ---- Packing --------------------------------------------------------------

TEST_F(Form14Test, EachBoxOwnsOneBitOfItsMask) {
  Open(form_);
  for (int box = 1; box <= 96; ++box) {
    ClearAll();
    harness::SetChecked(&form_, Box(box), true);
    TModuleSetup setup = DefaultModuleSetup();
    form_.PrectiOkno(setup);
    const int channel = (box - 1) % 32;
    const int firstByte = box <= 32 ? 10 : box <= 64 ? 14 : 18;
    for (int index = 10; index < 22; ++index) {
      const uint8_t expected = index == firstByte + channel / 8 ? static_cast<uint8_t>(1u << (channel % 8)) : 0;
      ASSERT_EQ(BlockByte(setup, index), expected) << "box " << box << " byte " << index;
    }
    EXPECT_EQ(setup.Address, 1);  // bytes 0-9 are not the window's
    EXPECT_EQ(form_.StatusText(), " ");
  }
}

TEST_F(Form14Test, ShowingAndTakingBackIsLossless) {
  Open(form_);
  TModuleSetup setup = DefaultModuleSetup();
  const uint8_t pattern[12] = {0x01, 0x80, 0x5A, 0xA5, 0xFF, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};
  std::copy(pattern, pattern + 4, setup.DinNegation);
  std::copy(pattern + 4, pattern + 8, setup.DoutNegation);
  std::copy(pattern + 8, pattern + 12, setup.DoutInitialState);
  form_.ZapisOkno(setup);
  EXPECT_TRUE(harness::IsChecked(&form_, Box(1)));    // DIN0 = bit 0 of 0x01
  EXPECT_TRUE(harness::IsChecked(&form_, Box(16)));   // DIN15 = bit 7 of 0x80
  EXPECT_FALSE(harness::IsChecked(&form_, Box(9)));   // DIN8
  TModuleSetup back = DefaultModuleSetup();
  form_.PrectiOkno(back);
  for (int index = 10; index < 22; ++index) EXPECT_EQ(BlockByte(back, index), BlockByte(setup, index)) << index;
}

// ---- Writing --------------------------------------------------------------

TEST_F(Form14Test, OnlyDin9WritesTwoIntoRegister0x24) {
  Open(form_);
  ClearAll();
  harness::SetChecked(&form_, "CheckBox10", true);  // DIN9
  std::vector<uint8_t> values(12, 0);
  values[5] = 0x02;  // step 6: register 0x24
  QueueVerifiedWrites(values);
  const Recorded run = ClickRecorded(form_, "Button1");
  EXPECT_EQ(run.sent, WriteRequests(values));
  EXPECT_EQ(form_.WorkingCopy().DinNegation[1], 0x02);
  std::vector<QString> expected{" "};
  expected.push_back(Q(" Probíhá zápis konfigurace do modulu (0 %)"));
  for (int percent : {8, 16, 25, 33, 41, 50, 58, 66, 75, 83, 91, 100})
    expected.push_back(Q(" Probíhá zápis konfigurace do modulu (") + QString::number(percent) + " %)");
  expected.push_back(Q(" Konfigurace zapsána."));
  EXPECT_EQ(run.texts, expected);
  // Between each write and its read-back, and after every step.
  EXPECT_EQ(run.pumps, Range(1, 24));
}

TEST_F(Form14Test, OnlyDout31InitialStateIsByte21AndRegister0x29) {
  Open(form_);
  ClearAll();
  harness::SetChecked(&form_, "CheckBox96", true);
  std::vector<uint8_t> values(12, 0);
  values[3] = 0x80;
  QueueVerifiedWrites(values);
  harness::Click(&form_, "Button1");
  EXPECT_EQ(BlockByte(form_.WorkingCopy(), 21), 0x80);
  EXPECT_EQ(Sent(), WriteRequests(values));
}

TEST_F(Form14Test, AllInputNegationsGoToTheFourDinRegisters) {
  Open(form_);
  ClearAll();
  for (int box = 1; box <= 32; ++box) harness::SetChecked(&form_, Box(box), true);
  std::vector<uint8_t> values(12, 0);
  for (int step = 4; step < 8; ++step) values[static_cast<size_t>(step)] = 0xFF;
  QueueVerifiedWrites(values);
  harness::Click(&form_, "Button1");
  for (int index = 10; index < 14; ++index) EXPECT_EQ(BlockByte(form_.WorkingCopy(), index), 0xFF);
  EXPECT_EQ(Sent(), WriteRequests(values));
  EXPECT_EQ(form_.StatusText(), Q(" Konfigurace zapsána."));
}

TEST_F(Form14Test, ReadBackMismatchStopsBeforeTheNextRegister) {
  Open(form_);
  ClearAll();
  for (int step = 0; step < 3; ++step) QueueVerifiedWrite(0);
  QueueVerifiedWrite(0x40);  // step 4 (register 0x29) reads back another value
  const Recorded run = ClickRecorded(form_, "Button1");
  ASSERT_EQ(run.sent.size(), 8u);
  EXPECT_EQ(run.sent.back(), ReadRequest(0x29));
  EXPECT_EQ(run.texts.back(), Q(" Chyba zápisu dat."));
  EXPECT_EQ(run.texts.end()[-2], Q(" Probíhá zápis konfigurace do modulu (25 %)"));
}

// ---- Reading --------------------------------------------------------------

TEST_F(Form14Test, ReadFillsTheBytesInStepOrder) {
  Open(form_);
  for (int step = 0; step < 12; ++step) QueueRead(static_cast<uint8_t>(0x11 * (step + 1)));
  const Recorded run = ClickRecorded(form_, "Button2");
  EXPECT_EQ(run.sent, ReadRequests(kStepRegisters));
  for (int step = 0; step < 12; ++step)
    EXPECT_EQ(BlockByte(form_.WorkingCopy(), kStepBytes[static_cast<size_t>(step)]), 0x11 * (step + 1)) << step;
  EXPECT_EQ(run.texts.size(), 14u);
  EXPECT_EQ(run.texts[1], Q(" Probíhá čtení konfigurace z modulu (8 %)"));
  EXPECT_EQ(run.texts.back(), Q(" Konfigurace přečtena."));
  EXPECT_EQ(run.pumps, Range(1, 12));
  // Step 1 read 0x11 into DoutInitialState byte 0: DOUT0 and DOUT4 of the initial states.
  EXPECT_TRUE(harness::IsChecked(&form_, Box(65)));
  EXPECT_FALSE(harness::IsChecked(&form_, Box(66)));
  EXPECT_TRUE(harness::IsChecked(&form_, Box(69)));
}

TEST_F(Form14Test, ReadFailureAtStep6KeepsTheBytesBeforeIt) {
  Open(form_);
  for (int step = 0; step < 5; ++step) QueueRead(0x0F);
  td::QueueStatus(2);
  const Recorded run = ClickRecorded(form_, "Button2");
  EXPECT_EQ(run.sent.size(), 6u);
  const TModuleSetup& copy = form_.WorkingCopy();
  for (int index : {18, 19, 20, 21, 10}) EXPECT_EQ(BlockByte(copy, index), 0x0F) << index;
  for (int index : {11, 12, 13, 14, 15, 16, 17}) EXPECT_EQ(BlockByte(copy, index), 0xFF) << index;
  EXPECT_EQ(run.texts.back(), " chyba 2");
  EXPECT_EQ(run.texts.end()[-2], Q(" Probíhá čtení konfigurace z modulu (41 %)"));
  // The boxes show the mix: DIN0-3 set, DIN4 clear (byte 10), DIN8 still set (byte 11).
  EXPECT_TRUE(harness::IsChecked(&form_, Box(1)));
  EXPECT_FALSE(harness::IsChecked(&form_, Box(5)));
  EXPECT_TRUE(harness::IsChecked(&form_, Box(9)));
  EXPECT_TRUE(harness::IsChecked(&form_, Box(65)));
  EXPECT_FALSE(harness::IsChecked(&form_, Box(69)));
}

// ---- Ok -------------------------------------------------------------------

TEST_F(Form14Test, OkStoresTheBoxesAndTheNextOpeningShowsThem) {
  config_.Initialized = false;  // "Ok" needs no link
  Open(form_);
  ClearAll();
  harness::SetChecked(&form_, Box(40), true);  // DOUT7 negated
  harness::SetChecked(&form_, Box(90), true);  // DOUT25 initial state on
  harness::Click(&form_, "Button3");
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(config_.ModuleSetup.DoutNegation[0], 0x80);
  EXPECT_EQ(config_.ModuleSetup.DoutInitialState[3], 0x02);
  EXPECT_EQ(config_.ModuleSetup.DinNegation[0], 0x00);
  EXPECT_EQ(config_.ModuleSetup.PulseNumber[0], 1);

  TForm14 next;
  Open(next);
  EXPECT_TRUE(harness::IsChecked(&next, Box(40)));
  EXPECT_TRUE(harness::IsChecked(&next, Box(90)));
  EXPECT_FALSE(harness::IsChecked(&next, Box(1)));
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
