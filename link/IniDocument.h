// A settings file of named sections with key=value lines, held as its bytes
// and read and updated the way the Windows profile functions do it:
// - section and key names match without regard to letter case (Windows-1250
//   letters included); of two equal sections or keys the first counts;
// - blanks around '=' and at the ends of a value are ignored on reading, and
//   a value in matching double or single quotes is read without them;
// - lines end with LF or CRLF; lines starting with ';' are comments, lines
//   before the first section header belong to no section;
// - an update rewrites only the line of its key, which keeps its spelling;
//   a new key goes after the last line of its section, a new section at the
//   end of the file; a rewritten line keeps its line end, new lines end
//   like the file's first line (CRLF in a file without line ends). Every
//   other byte of the file stays as it was.
// A read walks the lines once, for as many keys as it is given. The first
// update parses the bytes into a table of their lines; it and every later
// one look their line up there and parse only the lines they wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string bytes) : bytes_(std::move(bytes)) {}

  const std::string& Bytes() const { return bytes_; }
  // The bytes, leaving the document empty.
  std::string TakeBytes();

  // Value of the key; false when the section or the key is missing.
  bool Find(std::string_view section, std::string_view key, std::string& value) const;
  std::string ReadString(std::string_view section, std::string_view key, const std::string& fallback) const;

  // A key for FindAll.
  struct Query {
    Query(std::string_view sectionName, std::string_view keyName) : section(sectionName), key(keyName) {}
    std::string_view section, key;
    std::string value;  // the value, when found
    bool found = false;
    enum Stage : uint8_t { kBeforeSection, kInSection, kDone } stage = kBeforeSection;  // FindAll's
  };
  // Looks up several keys in one walk over the lines, each as Find would.
  void FindAll(Query* queries, size_t count) const;

  // Sets the key to value. The text is cut at the first CR, LF or NUL: those
  // would end the line and the rest would turn into lines of their own. A
  // value that would not read back as written (blanks at its ends, matching
  // quotes around it) is written in double quotes.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  // One line of the bytes as parsed. Offsets other than begin are from the
  // line's start, so that a line moves by its begin alone.
  enum class LineKind : uint8_t { Blank, Section, Comment, Key };
  struct Line {
    size_t begin = 0;      // offset of its first byte in the file
    size_t size = 0;       // its text without the LF (a CR before it included)
    bool terminated = false;  // an LF follows; only a last line may lack one
    bool hasEquals = false;   // a key line with '='
    LineKind kind = LineKind::Blank;
    size_t nameOffset = 0, nameSize = 0;    // section or key name, trimmed
    size_t valueOffset = 0, valueSize = 0;  // key value, trimmed, quotes kept
    size_t keep = 0;  // a rewritten key line keeps this many bytes of its start
    size_t End() const { return begin + size; }
    size_t Next() const { return End() + (terminated ? 1 : 0); }
  };

  // The line that starts at begin and ends at the first LF before to, or at to.
  Line ParseLine(size_t begin, size_t to) const;
  // Parses the bytes [from, to), which end at a line start or at the end
  // of the file, onto the end of into.
  void ParseLines(size_t from, size_t to, std::vector<Line>& into) const;
  void BuildTable();
  // Replaces erase bytes at pos with text; lines [first, last) are exactly
  // the bytes from their start to pos + erase, and text ends with an LF.
  // Those lines are parsed anew and the ones behind them moved.
  void Splice(size_t first, size_t last, size_t pos, size_t erase, std::string_view text);
  void IndexSections();
  // The first section of that name: its header's line and the line behind
  // its last one; both lines_.size() when there is none.
  struct SectionLines {
    size_t header, end;
  };
  SectionLines FindSection(std::string_view section) const;
  bool SameName(const Line& line, std::string_view name) const;
  std::string_view Name(const Line& line) const { return {bytes_.data() + line.begin + line.nameOffset, line.nameSize}; }
  std::string_view Value(const Line& line) const {
    return {bytes_.data() + line.begin + line.valueOffset, line.valueSize};
  }

  std::string bytes_;
  std::vector<Line> lines_;
  std::vector<size_t> sections_;  // the lines that are section headers
  bool tabled_ = false;           // lines_ and sections_ are built
};
