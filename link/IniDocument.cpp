#include "IniDocument.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "core/Cp1250.h"

namespace {

// Line end of new and rewritten lines: the file's own, as its first line
// end shows it; CRLF for a file without any.
const char* LineBreakOf(const std::string& bytes) {
  const size_t lf = bytes.find('\n');
  return lf != std::string::npos && (lf == 0 || bytes[lf - 1] != '\r') ? "\n" : "\r\n";
}

// Blanks of the profile format: white space, the Ctrl-Z end-of-file mark
// and the no-break space (0xA0). A table, so that testing a byte is no
// chain of comparisons.
struct BlankTable {
  bool blank[256] = {};
  constexpr BlankTable() {
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r', '\x1A', '\xA0'}) blank[c] = true;
  }
};
constexpr BlankTable kBlanks;

bool IsBlank(char c) { return kBlanks.blank[static_cast<unsigned char>(c)]; }

std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
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

void IniDocument::BuildTable() {
  if (tabled_) return;
  tabled_ = true;
  // One line more than line ends, and room for the few lines an update
  // adds, so that the table is allocated once.
  size_t lines = 5;
  const char* const end = bytes_.data() + bytes_.size();
  for (const char* p = bytes_.data(); p < end; ++lines, ++p) {
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (p == nullptr) break;
  }
  lines_.reserve(lines);
  ParseLines(0, bytes_.size(), lines_);
  IndexSections();
}

void IniDocument::ParseLines(size_t from, size_t to, std::vector<Line>& into) const {
  for (size_t pos = from; pos < to;) {
    into.push_back(ParseLine(pos, to));
    pos = into.back().Next();
  }
}

IniDocument::Line IniDocument::ParseLine(size_t begin, size_t to) const {
  Line line;
  line.begin = begin;
  const void* lf = std::memchr(bytes_.data() + begin, '\n', to - begin);
  line.terminated = lf != nullptr;
  line.size = lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - bytes_.data()) - begin : to - begin;

  const std::string_view raw(bytes_.data() + line.begin, line.size);
  const std::string_view text = Trim(raw);
  const auto offset = [&raw](std::string_view part) { return static_cast<size_t>(part.data() - raw.data()); };
  if (text.empty()) {
    line.kind = LineKind::Blank;
  } else if (text.front() == ';') {
    line.kind = LineKind::Comment;
  } else if (const size_t close = text.front() == '[' ? text.rfind(']') : std::string_view::npos;
             close != std::string_view::npos && close > 0) {
    line.kind = LineKind::Section;
    const std::string_view name = Trim(text.substr(1, close - 1));
    line.nameOffset = offset(name);
    line.nameSize = name.size();
  } else {
    // A '[' line without its ']' is no header; the profile functions take
    // it for a key line.
    line.kind = LineKind::Key;
    const size_t eq = text.find('=');
    std::string_view name = text;
    if (eq == std::string_view::npos) {
      line.keep = offset(text) + text.size();
    } else {
      line.hasEquals = true;
      name = Trim(text.substr(0, eq));
      size_t valueStart = eq + 1;
      while (valueStart < text.size() && IsBlank(text[valueStart])) ++valueStart;
      const std::string_view value = text.substr(valueStart);
      line.valueOffset = offset(value);
      line.valueSize = value.size();
      line.keep = line.valueOffset;
    }
    line.nameOffset = offset(name);
    line.nameSize = name.size();
  }
  return line;
}

void IniDocument::Splice(size_t first, size_t last, size_t pos, size_t erase, std::string_view text) {
  const size_t from = first < lines_.size() ? lines_[first].begin : bytes_.size();
  bytes_.replace(pos, erase, text.data(), text.size());
  for (size_t i = last; i < lines_.size(); ++i) lines_[i].begin = lines_[i].begin + text.size() - erase;
  // The new lines are parsed onto the end of the table and turned into place.
  const size_t before = lines_.size();
  ParseLines(from, pos + text.size(), lines_);
  std::rotate(lines_.begin() + last, lines_.begin() + before, lines_.end());
  lines_.erase(lines_.begin() + first, lines_.begin() + last);
  IndexSections();
}

void IniDocument::IndexSections() {
  sections_.clear();
  size_t count = 0;
  for (const Line& line : lines_) count += line.kind == LineKind::Section ? 1 : 0;
  sections_.reserve(count);
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::Section) sections_.push_back(i);
  }
}

bool IniDocument::SameName(const Line& line, std::string_view name) const {
  return line.nameSize == name.size() && dqcore::Cp1250EqualNoCase(Name(line), name);
}

std::string IniDocument::TakeBytes() {
  lines_.clear();
  sections_.clear();
  tabled_ = false;
  std::string bytes;
  bytes.swap(bytes_);
  return bytes;
}

IniDocument::SectionLines IniDocument::FindSection(std::string_view section) const {
  for (size_t j = 0; j < sections_.size(); ++j) {
    if (SameName(lines_[sections_[j]], section)) {
      return {sections_[j], j + 1 < sections_.size() ? sections_[j + 1] : lines_.size()};
    }
  }
  return {lines_.size(), lines_.size()};
}

void IniDocument::FindAll(Query* queries, size_t count) const {
  size_t open = count;  // queries that may still find their key
  for (size_t i = 0; i < count; ++i) {
    queries[i].found = false;
    queries[i].stage = Query::kBeforeSection;
  }
  for (size_t pos = 0; pos < bytes_.size() && open > 0;) {
    const Line line = ParseLine(pos, bytes_.size());
    pos = line.Next();
    if (line.kind == LineKind::Section) {
      // Only the first section of a name counts.
      for (size_t i = 0; i < count; ++i) {
        Query& q = queries[i];
        if (q.stage == Query::kInSection) {
          q.stage = Query::kDone;
          --open;
        } else if (q.stage == Query::kBeforeSection && SameName(line, q.section)) {
          q.stage = Query::kInSection;
        }
      }
    } else if (line.kind == LineKind::Key) {
      for (size_t i = 0; i < count; ++i) {
        Query& q = queries[i];
        if (q.stage == Query::kInSection && SameName(line, q.key)) {
          q.value.assign(Unquote(Value(line)));
          q.found = true;
          q.stage = Query::kDone;
          --open;
        }
      }
    }
  }
}

bool IniDocument::Find(std::string_view section, std::string_view key, std::string& value) const {
  Query query{section, key};
  FindAll(&query, 1);
  if (query.found) value = std::move(query.value);
  return query.found;
}

std::string IniDocument::ReadString(std::string_view section, std::string_view key,
                                    const std::string& fallback) const {
  std::string value;
  return Find(section, key, value) ? value : fallback;
}

void IniDocument::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  BuildTable();
  const std::string text = EncodeValue(value);
  const char* const lineBreak = LineBreakOf(bytes_);
  const SectionLines lines = FindSection(section);
  if (lines.header < lines_.size()) {
    size_t last = lines.header;  // last non-blank line of the section, its header at least
    for (size_t i = lines.header + 1; i < lines.end; ++i) {
      const Line& line = lines_[i];
      if (line.kind == LineKind::Blank) continue;
      if (line.kind == LineKind::Key && SameName(line, key)) {
        // The line keeps its start up to the value, and its own line end; a
        // last line without one gets the file's.
        std::string tail = line.hasEquals ? "" : "=";
        tail += text;
        const bool crlf = line.size > 0 && bytes_[line.End() - 1] == '\r';
        tail += !line.terminated ? lineBreak : crlf ? "\r\n" : "\n";
        const size_t pos = line.begin + line.keep;
        Splice(i, i + 1, pos, line.Next() - pos, tail);
        return;
      }
      last = i;
    }
    const bool open = !lines_[last].terminated;
    std::string added;
    if (open) added += lineBreak;
    added.append(key).append("=").append(text).append(lineBreak);
    Splice(open ? last : last + 1, last + 1, lines_[last].Next(), 0, added);
    return;
  }

  const bool anyLine = !lines_.empty();
  const bool open = anyLine && !lines_.back().terminated;
  std::string added;
  if (open) added += lineBreak;
  if (anyLine && lines_.back().kind != LineKind::Blank) added += lineBreak;  // a blank line between sections
  added.append("[").append(section).append("]").append(lineBreak);
  added.append(key).append("=").append(text).append(lineBreak);
  Splice(open ? lines_.size() - 1 : lines_.size(), lines_.size(), bytes_.size(), 0, added);
}
