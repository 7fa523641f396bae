// Windows-1250 <-> UTF-8 and the code page's letter case.
#include "core/Cp1250.h"

#include <array>
#include <cstdint>
#include <vector>

namespace dqcore {

namespace {

// Unicode of the bytes 0x80-0xFF. The five bytes the code page leaves
// undefined stand for the C1 control of the same value.
constexpr std::array<uint16_t, 128> kHighHalf = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

constexpr uint32_t kHighestMapped = 0x2122;

// Byte of every code point up to kHighestMapped; 0 where there is none
// (U+0000 is handled before the table is asked).
const std::vector<uint8_t>& ByteOfCodePoint() {
  static const std::vector<uint8_t> table = [] {
    std::vector<uint8_t> t(kHighestMapped + 1, 0);
    for (uint32_t b = 1; b < 0x80; ++b) t[b] = static_cast<uint8_t>(b);
    for (uint32_t i = 0; i < kHighHalf.size(); ++i) t[kHighHalf[i]] = static_cast<uint8_t>(0x80 + i);
    return t;
  }();
  return table;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[pos]. Returns false for a malformed
// sequence (stray continuation byte, invalid lead byte, truncated, overlong,
// surrogate, beyond U+10FFFF); pos then moves past the maximal ill-formed
// part so that each such part becomes one replacement character.
bool DecodeUtf8(const std::string& text, size_t& pos, uint32_t& cp) {
  const auto byteAt = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byteAt(pos);
  if (lead < 0x80) {
    cp = lead;
    ++pos;
    return true;
  }
  int length;
  unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    cp = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    ++pos;
    return false;
  }
  size_t i = pos + 1;
  for (int k = 1; k < length; ++k, ++i) {
    if (i >= text.size()) {
      pos = i;
      return false;
    }
    const unsigned char c = byteAt(i);
    const unsigned char lo = (k == 1) ? low : 0x80;
    const unsigned char hi = (k == 1) ? high : 0xBF;
    if (c < lo || c > hi) {
      pos = i;
      return false;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  pos = i;
  return true;
}

// Lower-case table of the code page: ASCII, the letters of 0x8A-0xBF in
// their pairs, and 0xC0-0xDE against 0xE0-0xFE (without × and ß).
constexpr std::array<unsigned char, 256> MakeLowerTable() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'A'; c <= 'Z'; ++c) t[c] = static_cast<unsigned char>(c + 0x20);
  const unsigned char pairs[][2] = {
      {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F},
      {0xA3, 0xB3}, {0xA5, 0xB9}, {0xAA, 0xBA}, {0xAF, 0xBF}, {0xBC, 0xBE},
  };
  for (const auto& p : pairs) t[p[0]] = p[1];
  for (int c = 0xC0; c <= 0xDE; ++c) {
    if (c != 0xD7) t[c] = static_cast<unsigned char>(c + 0x20);
  }
  return t;
}

constexpr std::array<unsigned char, 256> kLower = MakeLowerTable();

}  // namespace

std::string Utf8FromCp1250(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char ch : bytes) {
    const unsigned char b = static_cast<unsigned char>(ch);
    AppendUtf8(out, b < 0x80 ? b : kHighHalf[b - 0x80]);
  }
  return out;
}

std::string Cp1250FromUtf8(const std::string& utf8) {
  const std::vector<uint8_t>& table = ByteOfCodePoint();
  std::string out;
  out.reserve(utf8.size());
  size_t pos = 0;
  while (pos < utf8.size()) {
    uint32_t cp = 0;
    if (!DecodeUtf8(utf8, pos, cp)) {
      out += '?';
    } else if (cp == 0) {
      out += '\0';
    } else if (cp <= kHighestMapped && table[cp] != 0) {
      out += static_cast<char>(table[cp]);
    } else {
      out += '?';
    }
  }
  return out;
}

unsigned char Cp1250ToLower(unsigned char byte) { return kLower[byte]; }

bool Cp1250EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (kLower[static_cast<unsigned char>(a[i])] != kLower[static_cast<unsigned char>(b[i])]) return false;
  }
  return true;
}

}  // namespace dqcore
