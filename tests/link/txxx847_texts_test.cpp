// Texts of codes: the layer's own table, the library's Error for 0-99, and
// the one-character-per-word buffers in both directions.
#include <string>

#include "txxx847_fixture.h"

namespace td = testdriver;

namespace {

TErrorTextBuffer Filled(uint32_t pattern) {
  TErrorTextBuffer buffer;
  for (uint32_t& word : buffer.Words) {
    word = pattern;
  }
  return buffer;
}

TEST(ErrorTextBuffer, TextGoesFromWordOneAndReadsBack) {
  TErrorTextBuffer buffer = Filled(0x41);
  EXPECT_EQ(ErrorTextToBuffer("chyba \xE8ten\xED", buffer), 0);
  EXPECT_EQ(buffer.Words[0], 0u);
  EXPECT_EQ(buffer.Words[1], static_cast<uint32_t>('c'));
  EXPECT_EQ(buffer.Words[7], 0xE8u);  // a byte above 127 stays unsigned
  EXPECT_EQ(buffer.Words[12], 0u);    // the rest is cleared
  EXPECT_EQ(buffer.Words[99], 0u);
  EXPECT_EQ(ErrorTextFromBuffer(buffer), "chyba \xE8ten\xED");

  EXPECT_EQ(ErrorTextToBuffer("", buffer), 0);
  EXPECT_EQ(ErrorTextFromBuffer(buffer), "");
}

TEST(ErrorTextBuffer, LongTextIsCutTo99Characters) {
  std::string text;
  for (int i = 0; i < 120; ++i) {
    text += static_cast<char>('A' + i % 26);
  }
  TErrorTextBuffer buffer;
  ErrorTextToBuffer(text, buffer);
  EXPECT_EQ(buffer.Words[0], 0u);
  EXPECT_EQ(ErrorTextFromBuffer(buffer), text.substr(0, 99));
}

TEST(ErrorTextBuffer, ReadingStopsAtTheFirstZeroAfterWordZero) {
  TErrorTextBuffer buffer = Filled(0x42);
  buffer.Words[0] = 0;
  buffer.Words[1] = 0;
  EXPECT_EQ(ErrorTextFromBuffer(buffer), "");  // first two words 0

  buffer = Filled(0);
  const char* fromWordZero = "OK";
  buffer.Words[0] = fromWordZero[0];
  buffer.Words[1] = fromWordZero[1];
  buffer.Words[3] = 'X';  // after the end
  EXPECT_EQ(ErrorTextFromBuffer(buffer), "OK");

  buffer = Filled(0x100 + 'Z');  // only the low 8 bits count, up to word 99
  EXPECT_EQ(ErrorTextFromBuffer(buffer), std::string(100, 'Z'));
}

class DriverErrorTextTest : public Txxx847Test {};

TEST_F(DriverErrorTextTest, LayerCodesHaveTheirTextsWithoutALibrary) {
  const char* names[] = {"TCOM847.DLL", "TPCI847.DLL", "TPCI2847.DLL", "TUSB2847.DLL", "TDQ2847.DLL"};
  for (int type = 0; type < kInterfaceTypeCount; ++type) {
    EXPECT_EQ(DriverErrorString(itComPort, 100 + type), std::string("chyba inicializace knihovny ") + names[type]);
    EXPECT_EQ(DriverErrorString(itComPort, 110 + type), std::string("chybn\xE1 knihovna ") + names[type]);
  }
  const std::string unknown = "nezn\xE1m\xFD chybov\xFD k\xF3" "d";
  for (int32_t code : {105, 109, 115, 255, 100000, -1, INT32_MIN}) {
    TErrorTextBuffer buffer = Filled(0x41);
    EXPECT_EQ(DriverErrorText(7, code, buffer), 0) << code;  // any type
    EXPECT_EQ(buffer.Words[0], 0u);
    EXPECT_EQ(ErrorTextFromBuffer(buffer), unknown) << code;
  }
}

TEST_F(DriverErrorTextTest, CodeBelow100WithoutALibraryGives10AndLeavesTheBuffer) {
  for (int32_t code : {0, 5, 99}) {
    TErrorTextBuffer buffer = Filled(0x41);
    EXPECT_EQ(DriverErrorText(itComPort, code, buffer), 10);
    for (uint32_t word : buffer.Words) {
      ASSERT_EQ(word, 0x41u);
    }
  }
  EXPECT_EQ(DriverErrorString(itComPort, 5), "");
}

TEST_F(DriverErrorTextTest, CodeBelow100GoesToTheLibrarysError) {
  Bind(itPci2847);
  td::SetErrorText(7, "\xC8\x61sov\xFD limit");
  EXPECT_EQ(DriverErrorString(itPci2847, 0), "OK");
  EXPECT_EQ(DriverErrorString(itPci2847, 7), "\xC8\x61sov\xFD limit");
  EXPECT_EQ(DriverErrorString(itPci2847, 99), "chyba 99");
  EXPECT_EQ(td::CountCalls("TPCI2847_Error"), 3u);
  // Negative codes count as large ones and never reach the library.
  EXPECT_EQ(DriverErrorString(itPci2847, -5), "nezn\xE1m\xFD chybov\xFD k\xF3" "d");
  TErrorTextBuffer buffer = Filled(0x41);
  EXPECT_EQ(DriverErrorText(5, 7, buffer), 10);  // type outside 0-4
  EXPECT_EQ(buffer.Words[0], 0x41u);
  EXPECT_EQ(td::CountCalls("TPCI2847_Error"), 3u);
}

}  // namespace
