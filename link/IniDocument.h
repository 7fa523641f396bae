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
// Every operation is a single pass over the bytes, whatever they hold.
#pragma once

#include <string>
#include <string_view>
#include <utility>

class IniDocument {
 public:
  IniDocument() = default;
  explicit IniDocument(std::string bytes) : bytes_(std::move(bytes)) {}

  const std::string& Bytes() const { return bytes_; }

  // Value of the key; false when the section or the key is missing.
  bool Find(std::string_view section, std::string_view key, std::string& value) const;
  std::string ReadString(std::string_view section, std::string_view key, const std::string& fallback) const;

  // Sets the key to value. The text is cut at the first CR, LF or NUL: those
  // would end the line and the rest would turn into lines of their own. A
  // value that would not read back as written (blanks at its ends, matching
  // quotes around it) is written in double quotes.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

 private:
  std::string bytes_;
};
