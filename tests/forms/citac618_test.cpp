// Counter settings window against the scripted driver: registers 0-7 as
// low and high bytes of four pulse numbers, the read-back that echoes the
// value, where the sequences pump, validation, and a read that fails between
// the two bytes of a counter.
#include <QLineEdit>

#include "Citac618.h"
#include "test_configwindow_fixture.h"

using harness::Q;
using namespace configtest;

namespace {

const QString kRangeMessage = Q(" Impulsní číslo musí být v rozsahu 1-1000.");

class Form5Test : public ConfigWindowTest {
 protected:
  void TypeCounters(const char* a, const char* b, const char* c, const char* d) {
    const char* texts[] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) harness::Type(&form_, QStringLiteral("Edit%1").arg(i + 1), QString::fromUtf8(texts[i]));
  }
  QString Counter(int i) { return harness::EditText(&form_, QStringLiteral("Edit%1").arg(i + 1)); }

  TForm5 form_;
};

std::vector<QString> ProgressTexts(const char* prefix, bool withZero) {
  std::vector<QString> texts;
  if (withZero) texts.push_back(Q(prefix) + "0 %)");
  for (int percent : {12, 25, 37, 50, 62, 75, 87, 100}) texts.push_back(Q(prefix) + QString::number(percent) + " %)");
  return texts;
}

// ---- Controls -------------------------------------------------------------

TEST_F(Form5Test, ControlsCarryTheirTexts) {
  EXPECT_EQ(form_.windowTitle(), Q("Nastavení čítačů DQ-618"));
  EXPECT_EQ(harness::LabelText(&form_, "Label5"), Q("Impulsní číslo"));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(harness::LabelText(&form_, QStringLiteral("Label%1").arg(i + 1)), Q("Čítač ") + QString::number(i));
    EXPECT_NE(harness::Find<QLineEdit>(&form_, QStringLiteral("Edit%1").arg(i + 1)), nullptr);
  }
}

TEST_F(Form5Test, ShowTakesThePulseNumbersOfTheBlock) {
  config_.ModuleSetup.PulseNumber[3] = 65535;
  Open(form_);
  EXPECT_EQ(Counter(0), "1");
  EXPECT_EQ(Counter(3), "65535");
  EXPECT_EQ(form_.StatusText(), " ");
}

// ---- Validation -----------------------------------------------------------

TEST_F(Form5Test, PulseNumbersFromOneToThousandPass) {
  Open(form_);
  TypeCounters("1", "1000", "$3E8", "  500");
  TModuleSetup setup = DefaultModuleSetup();
  form_.PrectiOkno(setup);
  EXPECT_EQ(form_.StatusText(), " ");
  EXPECT_EQ(setup.PulseNumber[0], 1);
  EXPECT_EQ(setup.PulseNumber[1], 1000);
  EXPECT_EQ(setup.PulseNumber[2], 1000);
  EXPECT_EQ(setup.PulseNumber[3], 500);
}

TEST_F(Form5Test, OutOfRangeOrNonNumbersGiveTheRangeMessage) {
  Open(form_);
  for (const char* text : {"0", "1001", "abc", "", "-5", "12a"}) {
    TypeCounters(text, "2", "3", "4");
    TModuleSetup setup = DefaultModuleSetup();
    form_.PrectiOkno(setup);
    EXPECT_EQ(form_.StatusText(), kRangeMessage) << text;
    EXPECT_EQ(setup.PulseNumber[1], 1) << text;
  }
}

TEST_F(Form5Test, ZapsatStopsAtTheFirstBadBoxAndWritesNothing) {
  Open(form_);
  TypeCounters("5", "x", "7", "8");
  harness::Click(&form_, "Button1");
  EXPECT_EQ(form_.StatusText(), kRangeMessage);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[0], 5);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[1], 1);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[2], 1);
  EXPECT_TRUE(Sent().empty());

  harness::Click(&form_, "Button3");  // "Ok": the block stays, the window closes
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(config_.ModuleSetup.PulseNumber[0], 1);
}

// ---- Writing --------------------------------------------------------------

TEST_F(Form5Test, WriteSendsLowThenHighByteWithEchoingReadBacks) {
  Open(form_);
  TypeCounters("1000", "1", "256", "999");
  const uint8_t bytes[8] = {232, 3, 1, 0, 0, 1, 0xE7, 3};
  for (uint8_t value : bytes) QueueVerifiedWrite(value);
  const Recorded run = ClickRecorded(form_, "Button1");
  std::vector<Request> expected;
  for (uint8_t reg = 0; reg < 8; ++reg) {
    expected.push_back(WriteRequest(reg, bytes[reg]));
    expected.push_back(ReadRequest(reg, bytes[reg]));  // the read-back sends the value
  }
  EXPECT_EQ(run.sent, expected);
  std::vector<QString> texts{" "};
  for (const QString& text : ProgressTexts(" Probíhá zápis konfigurace do modulu (", true)) texts.push_back(text);
  texts.push_back(Q(" Konfigurace zapsána."));
  EXPECT_EQ(run.texts, texts);
  // Only before each write: never between a write and its read-back, never after the last.
  EXPECT_EQ(run.pumps, Range(0, 14, 2));
}

TEST_F(Form5Test, MismatchStopsTheWriteAndNoLaterRegisterIsWritten) {
  Open(form_);
  TypeCounters("1000", "2", "3", "4");
  QueueVerifiedWrite(232);
  QueueVerifiedWrite(4);  // register 1 holds another value
  harness::Click(&form_, "Button1");
  EXPECT_EQ(Sent().size(), 4u);
  EXPECT_EQ(form_.StatusText(), Q(" Chyba zápisu dat."));
}

TEST_F(Form5Test, ZapisRegistrReportsStatusTextOrMismatch) {
  QString text = "unchanged";
  QueueVerifiedWrite(77);
  EXPECT_EQ(form_.ZapisRegistr(itComPort, config_.DriverHandle, 9, 6, 77, text), 0);
  EXPECT_TRUE(text.isEmpty());

  QueueVerifiedWrite(78);
  EXPECT_EQ(form_.ZapisRegistr(itComPort, config_.DriverHandle, 9, 6, 77, text), 9);
  EXPECT_EQ(text, Q("Chyba zápisu dat."));

  td::QueueStatus(0);
  td::QueueStatus(21);
  EXPECT_EQ(form_.ZapisRegistr(itComPort, config_.DriverHandle, 9, 6, 77, text), 21);
  EXPECT_EQ(text, "chyba 21");

  const size_t before = Sent().size();
  td::QueueStatus(22);
  EXPECT_EQ(form_.ZapisRegistr(itComPort, config_.DriverHandle, 9, 7, 1, text), 22);
  EXPECT_EQ(text, "chyba 22");
  EXPECT_EQ(Sent().size(), before + 1);  // no read-back after a failed write
  EXPECT_EQ(Sent()[0], (Request{9, 103, 0, 0, 6, 6, 77, 77}));
  EXPECT_EQ(Sent()[1], (Request{9, 102, 0, 0, 6, 6, 77, 77}));
}

// ---- Reading --------------------------------------------------------------

TEST_F(Form5Test, ReadJoinsLowAndHighBytes) {
  Open(form_);
  const uint8_t bytes[8] = {232, 3, 0xFF, 0xFF, 0, 0, 7, 1};
  for (uint8_t value : bytes) QueueRead(value);
  const Recorded run = ClickRecorded(form_, "Button2");
  EXPECT_EQ(run.sent, ReadRequests({0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[0], 1000);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[1], 65535);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[2], 0);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[3], 263);
  // Shown without a range test.
  EXPECT_EQ(Counter(1), "65535");
  EXPECT_EQ(Counter(2), "0");
  std::vector<QString> texts = ProgressTexts(" Probíhá čtení konfigurace z modulu (", true);
  texts.push_back(Q(" Konfigurace přečtena."));
  EXPECT_EQ(run.texts, texts);
  EXPECT_EQ(run.pumps, Range(1, 8));
}

TEST_F(Form5Test, ReadFailingAtRegister5LeavesCounter2AsItWas) {
  config_.ModuleSetup.PulseNumber[2] = 300;
  config_.ModuleSetup.PulseNumber[3] = 400;
  Open(form_);
  for (uint8_t value : {10, 0, 20, 0, 30}) QueueRead(value);
  td::QueueStatus(8);
  const Recorded run = ClickRecorded(form_, "Button2");
  EXPECT_EQ(run.sent.size(), 6u);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[0], 10);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[1], 20);
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[2], 300);  // its low byte alone is not taken
  EXPECT_EQ(form_.WorkingCopy().PulseNumber[3], 400);
  EXPECT_EQ((std::vector<QString>{Counter(0), Counter(1), Counter(2), Counter(3)}),
            (std::vector<QString>{"10", "20", "300", "400"}));
  EXPECT_EQ(run.texts.back(), " chyba 8");
  EXPECT_EQ(run.texts.end()[-2], Q(" Probíhá čtení konfigurace z modulu (62 %)"));
}

// ---- Ok -------------------------------------------------------------------

TEST_F(Form5Test, OkStoresValidNumbersAndTheNextOpeningShowsThem) {
  Open(form_);
  TypeCounters("1", "10", "100", "1000");
  harness::Click(&form_, "Button3");
  EXPECT_FALSE(form_.isVisible());
  EXPECT_EQ(config_.ModuleSetup.PulseNumber[3], 1000);
  EXPECT_EQ(config_.ModuleSetup.DinNegation[0], 0xFF);  // the rest of the block carried through

  TForm5 next;
  Open(next);
  EXPECT_EQ(harness::EditText(&next, "Edit3"), "100");
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
