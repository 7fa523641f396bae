// Windows-1250 codec on all 256 bytes, checked against the C library's
// converter, and the code page's letter case.
#include <gtest/gtest.h>

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <string>

#include "core/Cp1250.h"

using namespace dqcore;

namespace {

// Converts one Windows-1250 byte with iconv; false when the converter has
// no mapping for it (or no converter exists).
bool IconvToUtf8(unsigned char byte, std::string& utf8) {
  iconv_t cd = iconv_open("UTF-8", "CP1250");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char in[1] = {static_cast<char>(byte)};
  char out[8] = {};
  char* inPtr = in;
  char* outPtr = out;
  size_t inLeft = 1, outLeft = sizeof out;
  const bool ok = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  if (ok) utf8.assign(out, sizeof out - outLeft);
  return ok;
}

uint32_t SingleCodePoint(const std::string& utf8) {
  const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(utf8[i])); };
  if (utf8.size() == 1) return b(0);
  if (utf8.size() == 2) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
  if (utf8.size() == 3) return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  return 0xFFFFFFFF;
}

bool IsUndefinedByte(unsigned b) { return b == 0x81 || b == 0x83 || b == 0x88 || b == 0x90 || b == 0x98; }

TEST(Cp1250Codec, EveryByteRoundTripsAndMatchesIconv) {
  std::string ignored;
  if (!IconvToUtf8('A', ignored)) GTEST_SKIP() << "no CP1250 converter in the C library";
  for (unsigned b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const std::string utf8 = Utf8FromCp1250(byte);
    EXPECT_EQ(Cp1250FromUtf8(utf8), byte) << "byte " << b;
    if (IsUndefinedByte(b)) {
      EXPECT_EQ(SingleCodePoint(utf8), b) << "byte " << b;  // the C1 control of the same value
    } else {
      std::string expected;
      ASSERT_TRUE(IconvToUtf8(static_cast<unsigned char>(b), expected)) << "byte " << b;
      EXPECT_EQ(utf8, expected) << "byte " << b;
    }
  }
}

TEST(Cp1250Codec, WholeTextBothWays) {
  std::string all;
  for (unsigned b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Cp1250FromUtf8(Utf8FromCp1250(all)), all);
  EXPECT_EQ(Cp1250FromUtf8("Připojení"), "P\xF8ipojen\xED");
  EXPECT_EQ(Utf8FromCp1250("\xC8\xEDslo portu"), "Číslo portu");
  EXPECT_EQ(Cp1250FromUtf8("B\xC3\xA1zov\xC3\xA1 adresa \xE2\x82\xAC"), "B\xE1zov\xE1 adresa \x80");
  EXPECT_EQ(Cp1250FromUtf8("V pořádku"), "V po\xF8\xE1" "dku");
  EXPECT_EQ(Cp1250FromUtf8("ŠŽČŘĚÚŮ"), "\x8A\x8E\xC8\xD8\xCC\xDA\xD9");
}

TEST(Cp1250Codec, UnmappableAndMalformedBecomeQuestionMarks) {
  EXPECT_EQ(Cp1250FromUtf8("\xE2\x82\xAC\xE6\x97\xA5"), "\x80?");   // U+65E5 has no byte
  EXPECT_EQ(Cp1250FromUtf8("\xC2\x80"), "?");                     // U+0080 is no Windows-1250 byte
  EXPECT_EQ(Cp1250FromUtf8("\xF0\x9F\x98\x80!"), "?!");             // beyond the BMP
  EXPECT_EQ(Cp1250FromUtf8("a\x80" "b"), "a?b");                  // stray continuation byte
  EXPECT_EQ(Cp1250FromUtf8("a\xC3"), "a?");                       // truncated at the end
  EXPECT_EQ(Cp1250FromUtf8("\xC3" "A"), "?A");                    // truncated, next character kept
  EXPECT_EQ(Cp1250FromUtf8("\xC0\xAF"), "??");                    // overlong '/'
  EXPECT_EQ(Cp1250FromUtf8("\xE0\x80\xAF"), "???");               // overlong, three bytes
  EXPECT_EQ(Cp1250FromUtf8("\xED\xA0\x80"), "???");               // surrogate
  EXPECT_EQ(Cp1250FromUtf8("\xF4\x90\x80\x80"), "????");          // beyond U+10FFFF
  EXPECT_EQ(Cp1250FromUtf8("\xFF\xFE"), "??");
  EXPECT_EQ(Cp1250FromUtf8("\xFF" "b"), "?b");
  EXPECT_EQ(Cp1250FromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1250Case, MatchesUnicodeLowerCaseOfEveryByte) {
  locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  if (utf8 == static_cast<locale_t>(0)) GTEST_SKIP() << "no C.UTF-8 locale";
  uint32_t codePoint[256];
  for (unsigned b = 0; b < 256; ++b) codePoint[b] = SingleCodePoint(Utf8FromCp1250(std::string(1, static_cast<char>(b))));
  for (unsigned b = 0; b < 256; ++b) {
    const uint32_t lower = static_cast<uint32_t>(towlower_l(static_cast<wint_t>(codePoint[b]), utf8));
    // The byte of Unicode's lower case where the code page has one; the
    // byte itself otherwise.
    unsigned want = b;
    for (unsigned c = 0; c < 256; ++c) {
      if (codePoint[c] == lower) want = c;
    }
    EXPECT_EQ(Cp1250ToLower(static_cast<unsigned char>(b)), want) << "byte " << b;
  }
  freelocale(utf8);
}

TEST(Cp1250Case, CzechNamesMatchInAnyCase) {
  EXPECT_TRUE(Cp1250EqualNoCase(Cp1250FromUtf8("Připojení"), Cp1250FromUtf8("PŘIPOJENÍ")));
  EXPECT_TRUE(Cp1250EqualNoCase(Cp1250FromUtf8("Číslo portu"), Cp1250FromUtf8("čÍSLO PORTU")));
  EXPECT_TRUE(Cp1250EqualNoCase(Cp1250FromUtf8("ŽŠŤĎŇĚŮ"), Cp1250FromUtf8("žšťďňěů")));
  EXPECT_FALSE(Cp1250EqualNoCase(Cp1250FromUtf8("Připojeni"), Cp1250FromUtf8("Připojení")));
  EXPECT_FALSE(Cp1250EqualNoCase(Cp1250FromUtf8("×"), Cp1250FromUtf8("÷")));
  EXPECT_FALSE(Cp1250EqualNoCase("COMx", "COMx "));
}

}  // namespace
