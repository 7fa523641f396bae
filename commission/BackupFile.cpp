#include "BackupFile.h"

#include <cstdint>
#include <map>
#include <vector>

#include "SetupRegisters.h"
#include "core/BaudRates.h"
#include "core/ModuleCommands.h"

namespace dqcommission {

namespace {

constexpr int kChannels = 32;
constexpr int32_t kMaxPulseNumber = 0xFFFF;
constexpr int32_t kMaxAddress = 255;
const char* const kFormatKey = "format";
const char* const kFormatName = "dq7184-configuration";

enum class Kind { kText, kAddress, kRate, kPulse, kYesNo, kOnOff };

// One key of the file and where its value goes.
struct Field {
  std::string key;
  Kind kind;
  bool required;
  std::string* text = nullptr;
  int index = 0;            // counter or channel
  uint8_t (*mask)[4] = nullptr;  // for the channel fields: which mask of the block
};

std::vector<Field> FieldsOf(ConfigBackup& b) {
  std::vector<Field> fields = {
      {"type", Kind::kText, true, &b.typeName},
      {"version", Kind::kText, false, &b.version},
      {"read-over", Kind::kText, false, &b.readOver},
      {"date", Kind::kText, false, &b.date},
      {"address", Kind::kAddress, true},
      {"rate", Kind::kRate, true},
  };
  for (int i = 0; i < dqcmd::kPulseCounterCount; ++i) {
    fields.push_back({"CNT " + std::to_string(i) + " pulse number", Kind::kPulse, true, nullptr, i});
  }
  for (int k = 0; k < kChannels; ++k) {
    fields.push_back({"DIN" + std::to_string(k) + " negated", Kind::kYesNo, true, nullptr, k, &b.setup.DinNegation});
  }
  for (int k = 0; k < kChannels; ++k) {
    fields.push_back({"DOUT" + std::to_string(k) + " negated", Kind::kYesNo, true, nullptr, k, &b.setup.DoutNegation});
    fields.push_back(
        {"DOUT" + std::to_string(k) + " initial", Kind::kOnOff, true, nullptr, k, &b.setup.DoutInitialState});
  }
  return fields;
}

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool ParseNumber(const std::string& text, int32_t low, int32_t high, int32_t& value) {
  int32_t parsed = 0;
  if (!TryParseInteger(text, parsed) || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

std::string Flag(bool on, const char* yes, const char* no) { return on ? yes : no; }

// Reads value into the field's place; an empty text when it fits,
// otherwise what was expected.
std::string Store(const Field& field, const std::string& value, ConfigBackup& b) {
  int32_t number = 0;
  switch (field.kind) {
    case Kind::kText:
      *field.text = value;
      return {};
    case Kind::kAddress:
      if (!ParseNumber(value, 0, kMaxAddress, number)) return "an address 0-255";
      b.setup.Address = static_cast<uint8_t>(number);
      return {};
    case Kind::kRate: {
      int code = ParseNumber(value, 0, INT32_MAX, number) ? dqcore::BaudCodeOf(static_cast<uint32_t>(number)) : -1;
      if (code < 0) return "a rate in Bd: 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200";
      b.setup.BaudCode = static_cast<uint8_t>(code);
      return {};
    }
    case Kind::kPulse:
      if (!ParseNumber(value, 0, kMaxPulseNumber, number)) return "a pulse number 0-65535";
      b.setup.PulseNumber[field.index] = static_cast<uint16_t>(number);
      return {};
    case Kind::kYesNo:
    case Kind::kOnOff: {
      const char* on = field.kind == Kind::kYesNo ? "yes" : "on";
      const char* off = field.kind == Kind::kYesNo ? "no" : "off";
      if (value != on && value != off) return std::string(on) + " or " + off;
      SetMaskBit(*field.mask, field.index, value == on);
      return {};
    }
  }
  return "a value";
}

}  // namespace

std::string ModuleTypeText(const std::string& cp1250) {
  // The bytes come from the module: control characters would reach the
  // terminal and the backup file's lines, so they become '?'.
  std::string text = cp1250.substr(0, cp1250.find('\0'));
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  text = Utf8FromCp1250(text);
  // Bytes the code page leaves undefined come out as C1 controls (U+0080-U+009F).
  std::string clean;
  for (size_t i = 0; i < text.size(); ++i) {
    if (static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
        static_cast<unsigned char>(text[i + 1]) >= 0x80 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      clean += '?';
      ++i;
    } else {
      clean += text[i];
    }
  }
  size_t last = clean.find_last_not_of(' ');
  return last == std::string::npos ? std::string() : clean.substr(0, last + 1);
}

std::string FormatBackup(const ConfigBackup& backup) {
  ConfigBackup copy = backup;
  std::string out =
      "# dq7184 configuration backup. Lines are \"key = value\"; a line beginning\n"
      "# with # is a comment. Edit the values, keep the keys (docs/backup-format.md).\n"
      "# rate in Bd; pulse numbers 0-65535; DINn/DOUTn negated: yes or no;\n"
      "# DOUTn initial (the output's state at power-up): on or off.\n";
  out += std::string(kFormatKey) + " = " + kFormatName + " " + std::to_string(kBackupFormatVersion) + "\n";
  const TModuleSetup& s = copy.setup;
  for (const Field& field : FieldsOf(copy)) {
    std::string value;
    switch (field.kind) {
      case Kind::kText:
        // One line each, whatever the text holds.
        value = *field.text;
        for (char& c : value) {
          if (static_cast<unsigned char>(c) < 0x20) c = '?';
        }
        break;
      case Kind::kAddress: value = std::to_string(s.Address); break;
      case Kind::kRate: value = std::to_string(BaudRateFromCode(s.BaudCode)); break;
      case Kind::kPulse: value = std::to_string(s.PulseNumber[field.index]); break;
      case Kind::kYesNo:
        value = Flag(MaskBit(*field.mask, field.index), "yes", "no");
        break;
      case Kind::kOnOff:
        value = Flag(MaskBit(*field.mask, field.index), "on", "off");
        break;
    }
    if (field.key == "address" || field.key == "CNT 0 pulse number" || field.key == "DIN0 negated" ||
        field.key == "DOUT0 negated") {
      out += "\n";
    }
    out += field.key + " = " + value + "\n";
  }
  return out;
}

bool ParseBackup(const std::string& text, ConfigBackup& backup, BackupError& error) {
  backup = ConfigBackup{};
  std::vector<Field> fields = FieldsOf(backup);
  std::map<std::string, size_t> byKey;
  for (size_t i = 0; i < fields.size(); ++i) byKey[fields[i].key] = i;
  std::map<std::string, int> seen;  // key -> line
  bool formatSeen = false;

  auto fail = [&error](int line, const std::string& message) {
    error.line = line;
    error.message = message;
    return false;
  };

  int lineNumber = 0;
  // A byte order mark, as Windows editors put it before UTF-8 text, is skipped.
  const std::string bom = "\xEF\xBB\xBF";
  size_t start = text.compare(0, bom.size(), bom) == 0 ? bom.size() : 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (line.empty() || line[0] == '#') continue;
    for (char c : line) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t') {
        return fail(lineNumber, "a control character: this is no text line");
      }
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) return fail(lineNumber, "expected \"key = value\", found \"" + line + "\"");
    std::string key = Trim(line.substr(0, equals));
    std::string value = Trim(line.substr(equals + 1));
    if (!formatSeen) {
      const std::string expected = std::string(kFormatName) + " " + std::to_string(kBackupFormatVersion);
      if (key != kFormatKey) return fail(lineNumber, "the file must begin with \"format = " + expected + "\"");
      if (value.rfind(std::string(kFormatName) + " ", 0) != 0) {
        return fail(lineNumber, "\"" + value + "\" is not a dq7184 configuration backup");
      }
      if (value != expected) {
        return fail(lineNumber, "format \"" + value + "\" is not supported; this program reads \"" + expected + "\"");
      }
      formatSeen = true;
      continue;
    }
    auto found = byKey.find(key);
    if (found == byKey.end()) return fail(lineNumber, "unknown key \"" + key + "\"");
    auto earlier = seen.find(key);
    if (earlier != seen.end()) {
      return fail(lineNumber, "\"" + key + "\" again (first on line " + std::to_string(earlier->second) + ")");
    }
    seen[key] = lineNumber;
    const Field& field = fields[found->second];
    if (field.kind == Kind::kText && field.required && value.empty()) {
      return fail(lineNumber, "\"" + key + "\" is empty");
    }
    std::string expected = Store(field, value, backup);
    if (!expected.empty()) {
      return fail(lineNumber, "\"" + key + "\" is \"" + value + "\"; expected " + expected);
    }
  }
  if (!formatSeen) return fail(lineNumber + 1, "the file ends without \"format = dq7184-configuration 1\"");
  for (const Field& field : fields) {
    if (field.required && seen.find(field.key) == seen.end()) {
      return fail(lineNumber + 1, "the file ends without \"" + field.key + "\"");
    }
  }
  return true;
}

}  // namespace dqcommission
