// The 32-channel grid and the bit text rule shared by the live windows.
#include <gtest/gtest.h>

#include <QFrame>
#include <QLabel>

#include "FormsHarness.h"
#include "OkamCNT.h"
#include "OkamDIN.h"
#include "StatReg.h"
#include "ValueGrid.h"

using harness::LabelText;

TEST(BitText, EachBitOfAByteAndIndicesOutsideTheByte) {
  const uint8_t byte = 0xA5;  // bits 0, 2, 5, 7
  const char* expected[8] = {"1", "0", "1", "0", "0", "1", "0", "1"};
  for (int bit = 0; bit < 8; ++bit) EXPECT_EQ(BitText(byte, bit), QString(expected[bit])) << bit;
  EXPECT_EQ(BitText(0xFF, 8), "0");
  EXPECT_EQ(BitText(0xFF, 255), "0");
  EXPECT_EQ(BitText(0xFF, -1), "0");
}

TEST(ValueGrid, BitImageFillsChannelsByteByByteLeastSignificantFirst) {
  QStringList names;
  for (int n = 0; n < 32; ++n) names << QString::number(n);
  TValueGrid grid(names, "0", Qt::AlignHCenter);
  grid.ShowBitImage(0x01, 0x80, 0x00, 0xC0);
  for (int n = 0; n < 32; ++n) {
    const bool set = n == 0 || n == 15 || n == 30 || n == 31;
    EXPECT_EQ(grid.ValueLabel(n)->text(), set ? "1" : "0") << n;
  }
  grid.SetAllValues("x");
  for (int n = 0; n < 32; ++n) EXPECT_EQ(grid.ValueLabel(n)->text(), "x");
  EXPECT_EQ(grid.ValueLabel(32), nullptr);
  EXPECT_EQ(grid.ValueLabel(-1), nullptr);
}

// Every grid window: names Label1-Label32, values Label33-Label64 "0", in
// the panels Panel1-Panel4 column by column, each value level with its name.
class GridWindows : public ::testing::TestWithParam<int> {};

TEST_P(GridWindows, LabelsPanelsAndRowsLineUp) {
  std::unique_ptr<QWidget> window;
  QString firstName, lastName;
  switch (GetParam()) {
    case 0: window = std::make_unique<TForm11>(); firstName = "DIN0"; lastName = "DIN31"; break;
    case 1: window = std::make_unique<TForm15>(); firstName = "---"; lastName = "---"; break;
    default: window = std::make_unique<TForm6>(); firstName = "CNT 0"; lastName = "CNT 31"; break;
  }
  window->show();
  harness::Settle();
  EXPECT_EQ(LabelText(window.get(), "Label1"), firstName);
  EXPECT_EQ(LabelText(window.get(), "Label32"), lastName);
  for (int n = 0; n < 32; ++n) {
    auto* name = harness::Find<QLabel>(window.get(), QStringLiteral("Label%1").arg(n + 1));
    auto* value = harness::Find<QLabel>(window.get(), QStringLiteral("Label%1").arg(n + 33));
    ASSERT_NE(name, nullptr) << n;
    ASSERT_NE(value, nullptr) << n;
    EXPECT_EQ(value->text(), "0") << n;
    ASSERT_NE(value->parentWidget(), nullptr);
    EXPECT_EQ(value->parentWidget()->objectName(), QStringLiteral("Panel%1").arg(n / 8 + 1)) << n;
    const QPoint namePos = name->mapTo(window.get(), QPoint(0, 0));
    const QPoint valuePos = value->mapTo(window.get(), QPoint(0, 0));
    EXPECT_EQ(namePos.y(), valuePos.y()) << n;
    EXPECT_LT(namePos.x(), valuePos.x()) << n;
    if (n % 8 != 0) {
      auto* above = harness::Find<QLabel>(window.get(), QStringLiteral("Label%1").arg(n + 32));
      EXPECT_GT(valuePos.y(), above->mapTo(window.get(), QPoint(0, 0)).y()) << n;
    }
  }
  auto* panel = harness::Find<QFrame>(window.get(), "Panel1");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(Qt::white));
}

INSTANTIATE_TEST_SUITE_P(Windows, GridWindows, ::testing::Values(0, 1, 2));
