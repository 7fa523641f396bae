#include "IniDocument.h"

#include <cstring>

#include "core/Cp1250.h"

namespace {

// Line end of new and rewritten lines: the file's own, as its first line
// end shows it; CRLF for a file without any.
const char* LineBreakOf(const std::string& bytes) {
  const size_t lf = bytes.find('\n');
  return lf != std::string::npos && (lf == 0 || bytes[lf - 1] != '\r') ? "\n" : "\r\n";
}

// Blanks of the profile format: white space, the Ctrl-Z end-of-file mark
// and the no-break space (0xA0).
bool IsBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u == ' ' || u == '\t' || u == '\n' || u == '\v' || u == '\f' || u == '\r' || u == 0x1A ||
         u == 0xA0;
}

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// One line of the bytes: [begin, end) is its text without the LF, next is
// where the following line starts. A last line without LF has end == next.
struct Line {
  size_t begin = 0;
  size_t end = 0;
  size_t next = 0;
  bool Terminated() const { return next != end; }
};

class LineReader {
 public:
  explicit LineReader(const std::string& bytes) : bytes_(bytes) {}
  bool Next(Line& line) {
    if (pos_ >= bytes_.size()) return false;
    line.begin = pos_;
    const void* lf = std::memchr(bytes_.data() + pos_, '\n', bytes_.size() - pos_);
    if (lf == nullptr) {
      line.end = line.next = bytes_.size();
    } else {
      line.end = static_cast<size_t>(static_cast<const char*>(lf) - bytes_.data());
      line.next = line.end + 1;
    }
    pos_ = line.next;
    return true;
  }

 private:
  const std::string& bytes_;
  size_t pos_ = 0;
};

enum class LineKind { Blank, Section, Comment, Key };

struct ParsedLine {
  LineKind kind = LineKind::Blank;
  std::string_view name;   // section or key name, trimmed
  std::string_view value;  // key value, trimmed, quotes kept
  size_t keepEnd = 0;      // a rewritten key line keeps the bytes before this offset
  bool hasEquals = false;
};

ParsedLine ParseLine(const std::string& bytes, const Line& line) {
  ParsedLine parsed;
  const std::string_view raw(bytes.data() + line.begin, line.end - line.begin);
  const std::string_view text = Trim(raw);
  if (text.empty()) return parsed;
  const size_t textOffset = line.begin + static_cast<size_t>(text.data() - raw.data());
  if (text.front() == ';') {
    parsed.kind = LineKind::Comment;
    return parsed;
  }
  if (text.front() == '[') {
    const size_t close = text.rfind(']');
    if (close != std::string_view::npos && close > 0) {
      parsed.kind = LineKind::Section;
      parsed.name = Trim(text.substr(1, close - 1));
      return parsed;
    }
    // Without its ']' the line is no header; the profile functions take it
    // for a key line.
  }
  parsed.kind = LineKind::Key;
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos) {
    parsed.name = text;
    parsed.keepEnd = textOffset + text.size();
    return parsed;
  }
  parsed.hasEquals = true;
  parsed.name = Trim(text.substr(0, eq));
  size_t valueStart = eq + 1;
  while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
  parsed.value = text.substr(valueStart);
  parsed.keepEnd = textOffset + valueStart;
  return parsed;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The value as it goes into the file; see WriteString.
std::string EncodeValue(std::string_view value) {
  const size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
  if (cut != std::string_view::npos) value = value.substr(0, cut);
  const bool quote = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()) ||
                                        Unquote(value).size() != value.size());
  std::string text;
  if (quote) text += '"';
  text += value;
  if (quote) text += '"';
  return text;
}

}  // namespace

bool IniDocument::Find(std::string_view section, std::string_view key, std::string& value) const {
  LineReader reader(bytes_);
  Line line;
  bool inSection = false;
  while (reader.Next(line)) {
    const ParsedLine parsed = ParseLine(bytes_, line);
    if (parsed.kind == LineKind::Section) {
      if (inSection) return false;  // only the first section of that name counts
      inSection = dqcore::Cp1250EqualNoCase(parsed.name, section);
    } else if (inSection && parsed.kind == LineKind::Key && dqcore::Cp1250EqualNoCase(parsed.name, key)) {
      value.assign(Unquote(parsed.value));
      return true;
    }
  }
  return false;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    const std::string& fallback) const {
  std::string value;
  return Find(section, key, value) ? value : fallback;
}

void IniDocument::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string text = EncodeValue(value);
  const char* const lineBreak = LineBreakOf(bytes_);
  LineReader reader(bytes_);
  Line line;
  bool inSection = false;
  bool sectionFound = false;
  Line lastOfSection;  // last non-blank line of the section, its header at least
  Line lastLine;
  bool lastLineBlank = true;
  bool anyLine = false;
  while (reader.Next(line)) {
    const ParsedLine parsed = ParseLine(bytes_, line);
    anyLine = true;
    lastLine = line;
    lastLineBlank = parsed.kind == LineKind::Blank;
    if (parsed.kind == LineKind::Section) {
      if (inSection) break;
      if (dqcore::Cp1250EqualNoCase(parsed.name, section)) {
        inSection = sectionFound = true;
        lastOfSection = line;
      }
      continue;
    }
    if (!inSection || parsed.kind == LineKind::Blank) continue;
    if (parsed.kind == LineKind::Key && dqcore::Cp1250EqualNoCase(parsed.name, key)) {
      std::string replacement = bytes_.substr(line.begin, parsed.keepEnd - line.begin);
      if (!parsed.hasEquals) replacement += '=';
      replacement += text;
      // The line keeps its own line end; a last line without one gets the file's.
      const bool crlf = line.end > line.begin && bytes_[line.end - 1] == '\r';
      replacement += !line.Terminated() ? lineBreak : crlf ? "\r\n" : "\n";
      bytes_.replace(line.begin, line.next - line.begin, replacement);
      return;
    }
    lastOfSection = line;
  }

  std::string added;
  if (sectionFound) {
    if (!lastOfSection.Terminated()) added += lineBreak;
    added.append(key).append("=").append(text).append(lineBreak);
    bytes_.insert(lastOfSection.next, added);
    return;
  }
  if (anyLine && !lastLine.Terminated()) added += lineBreak;
  if (anyLine && !lastLineBlank) added += lineBreak;  // a blank line between sections
  added.append("[").append(section).append("]").append(lineBreak);
  added.append(key).append("=").append(text).append(lineBreak);
  bytes_ += added;
}
