// The settings file format: reading and updating single keys the way the
// Windows profile functions do, while every untouched byte stays.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/Cp1250.h"
#include "IniDocument.h"
#include "dekl_test_files.h"

namespace {

std::string Value(const std::string& bytes, const std::string& section, const std::string& key) {
  return IniDocument(bytes).ReadString(section, key, "<none>");
}

std::string Updated(const std::string& bytes, const std::string& section, const std::string& key,
                    const std::string& value) {
  IniDocument ini(bytes);
  ini.WriteString(section, key, value);
  return ini.Bytes();
}

// The values of keys in section S of the file, each {key, value}.
void ExpectValuesInS(const std::string& file, const std::vector<std::pair<std::string, std::string>>& keys) {
  for (const auto& [key, value] : keys) EXPECT_EQ(Value(file, "S", key), value) << key;
}

TEST(IniRead, BlanksAroundEqualsAndAtValueEndsAreIgnored) {
  ExpectValuesInS("[S]\r\n  k1 =  v 1 \t\r\nk2=\r\nk3\t=\tx\n\tk4=\x1A" "y\x1A\r\n",
                  {{"k1", "v 1"}, {"k2", ""}, {"k3", "x"}, {"k4", "y"}, {"k5", "<none>"}});
}

TEST(IniRead, QuotedValuesLoseOneMatchingPair) {
  ExpectValuesInS("[S]\na=\"127.1.2.3\"\nb=' x '\nc=\"x'\nd=\"\ne=\"\"\nf= \" q \" \ng=\"\"x\"\"\n",
                  {{"a", "127.1.2.3"}, {"b", " x "}, {"c", "\"x'"}, {"d", "\""}, {"e", ""}, {"f", " q "},
                   {"g", "\"x\""}});
}

TEST(IniRead, FirstKeyAndFirstSectionCount) {
  const std::string file = "[S]\nk=1\nk=2\n[T]\nk=3\n[s]\nk=4\nother=5\n";
  EXPECT_EQ(Value(file, "S", "k"), "1");
  EXPECT_EQ(Value(file, "T", "k"), "3");
  EXPECT_EQ(Value(file, "S", "other"), "<none>");  // only in the second [S]
}

TEST(IniRead, NamesIgnoreLetterCaseCzechLettersToo) {
  const std::string file = W("[ PŘIPOJENÍ ]\r\nROZHRANÍ=DQ-2847\r\n[číslo]\r\nčÍSLO PORTU=3\r\n");
  EXPECT_EQ(Value(file, W("Připojení"), W("Rozhraní")), "DQ-2847");
  EXPECT_EQ(Value(file, W("ČÍSLO"), W("Číslo portu")), "3");
  EXPECT_EQ(Value(file, W("Pripojeni"), W("Rozhrani")), "<none>");
}

TEST(IniRead, CommentsStrayLinesAndKeysOutsideSections) {
  const std::string file =
      "k=outside\n[S]\n;k=commented\n  ; k=indented comment\nk\nx=1\n[broken\nj=2\n[T] trailing ] text\ny=3\n";
  EXPECT_EQ(Value(file, "", "k"), "<none>");
  EXPECT_EQ(Value(file, "S", "k"), "");  // a key line without '=' has an empty value
  EXPECT_EQ(Value(file, "S", "x"), "1");
  EXPECT_EQ(Value(file, "S", "j"), "2");  // "[broken" is no header
  EXPECT_EQ(Value(file, "T] trailing", "y"), "3");  // the name ends at the last ']'
}

TEST(IniRead, LfAndCrlfMixed) {
  const std::string file = "[S]\r\na=1\nb=2\r\n\n[T]\nc=3\r\n";
  EXPECT_EQ(Value(file, "S", "a"), "1");
  EXPECT_EQ(Value(file, "S", "b"), "2");
  EXPECT_EQ(Value(file, "T", "c"), "3");
}

TEST(IniWrite, UpdatedKeyKeepsItsSpellingAndTheRestItsBytes) {
  const std::string before = W("; header\n[připojení]\n  ADRESA = 5  \n\n[X]\r\nADRESA=9\r\n");
  const std::string after = Updated(before, W("Připojení"), "Adresa", "7");
  EXPECT_EQ(after, W("; header\n[připojení]\n  ADRESA = 7\n\n[X]\r\nADRESA=9\r\n"));
}

TEST(IniWrite, KeyWithoutEqualsGetsOne) {
  EXPECT_EQ(Updated("[S]\nk\nz=1\n", "S", "K", "v"), "[S]\nk=v\nz=1\n");
}

TEST(IniWrite, OnlyTheFirstOfEqualKeysChanges) {
  EXPECT_EQ(Updated("[S]\nk=1\nk=2\n", "S", "k", "3"), "[S]\nk=3\nk=2\n");
  EXPECT_EQ(Updated("[S]\na=1\n[S]\nk=2\n", "S", "k", "3"), "[S]\na=1\nk=3\n[S]\nk=2\n");
}

TEST(IniWrite, NewKeyGoesAfterTheLastLineOfItsSection) {
  EXPECT_EQ(Updated("[S]\r\na=1\r\n\r\n\r\n[T]\r\nb=2\r\n", "S", "c", "3"),
            "[S]\r\na=1\r\nc=3\r\n\r\n\r\n[T]\r\nb=2\r\n");
  EXPECT_EQ(Updated("[S]\n\n[T]\n", "S", "c", "3"), "[S]\nc=3\n\n[T]\n");
  EXPECT_EQ(Updated("[S]\na=1\n; note\n\n", "S", "c", "3"), "[S]\na=1\n; note\nc=3\n\n");
}

TEST(IniWrite, NewSectionAtTheEnd) {
  EXPECT_EQ(Updated("", "S", "k", "v"), "[S]\r\nk=v\r\n");
  EXPECT_EQ(Updated("[T]\r\na=1\r\n", "S", "k", "v"), "[T]\r\na=1\r\n\r\n[S]\r\nk=v\r\n");
  EXPECT_EQ(Updated("[T]\na=1\n\n", "S", "k", "v"), "[T]\na=1\n\n[S]\nk=v\n");
  EXPECT_EQ(Updated("junk", "S", "k", "v"), "junk\r\n\r\n[S]\r\nk=v\r\n");
}

// New lines end like the file's first line end, CRLF when it has none; a
// rewritten line keeps its own.
TEST(IniWrite, LineEndsFollowTheFile) {
  struct Row {
    const char* what;
    std::string before, section, key, after;
  };
  const Row rows[] = {
      {"LF file, key updated", "[S]\nk=1\nz=2\n", "S", "k", "[S]\nk=v\nz=2\n"},
      {"LF file, new key", "[S]\na=1\n", "S", "k", "[S]\na=1\nk=v\n"},
      {"LF file, new section", "[T]\na=1\n", "S", "k", "[T]\na=1\n\n[S]\nk=v\n"},
      {"LF file, last line without its end", "[S]\nk=1", "S", "k", "[S]\nk=v\n"},
      {"CRLF file, key updated", "[S]\r\nk=1\r\nz=2\r\n", "S", "k", "[S]\r\nk=v\r\nz=2\r\n"},
      {"CRLF file, new key", "[S]\r\na=1\r\n", "S", "k", "[S]\r\na=1\r\nk=v\r\n"},
      {"CRLF file, new section", "[T]\r\na=1\r\n", "S", "k", "[T]\r\na=1\r\n\r\n[S]\r\nk=v\r\n"},
      {"new file", "", "S", "k", "[S]\r\nk=v\r\n"},
      {"file without a line end", "[S]", "S", "k", "[S]\r\nk=v\r\n"},
      {"file without a line end, new section", "; x", "S", "k", "; x\r\n\r\n[S]\r\nk=v\r\n"},
      {"first end LF, then CRLF: new key", "[S]\nk=1\r\n", "S", "n", "[S]\nk=1\r\nn=v\n"},
      {"first end LF, then CRLF: CRLF line updated", "[S]\nk=1\r\n", "S", "k", "[S]\nk=v\r\n"},
      {"first end CRLF, then LF: new key", "[S]\r\nk=1\n", "S", "n", "[S]\r\nk=1\nn=v\r\n"},
      {"first end CRLF, then LF: LF line updated", "[S]\r\nk=1\n", "S", "k", "[S]\r\nk=v\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Updated(row.before, row.section, row.key, "v"), row.after) << row.what;
  }
}

TEST(IniWrite, FileWithoutFinalLineBreak) {
  EXPECT_EQ(Updated("[S]\na=1", "S", "b", "2"), "[S]\na=1\nb=2\n");
  EXPECT_EQ(Updated("[S]\na=1", "S", "a", "2"), "[S]\na=2\n");
  EXPECT_EQ(Updated("[S]", "S", "a", "2"), "[S]\r\na=2\r\n");
}

TEST(IniWrite, LineBreaksAndNulCutTheValue) {
  const char injected[] = "127.0.0.7\r\n[T]\r\nx=1\0y";
  const std::string after = Updated("[S]\nk=1\n", "S", "k", std::string(injected, sizeof injected - 1));
  EXPECT_EQ(after, "[S]\nk=127.0.0.7\n");
  EXPECT_EQ(Updated("", "S", "k", "\nrest"), "[S]\r\nk=\r\n");
  EXPECT_EQ(Updated("", "S", "k", std::string("a\0b", 3)), "[S]\r\nk=a\r\n");
}

TEST(IniWrite, ValuesThatWouldNotReadBackAreQuoted) {
  for (const std::string value : {" a", "a ", "\t", "\"x\"", "'x'", "\"\"", " \" "}) {
    const std::string file = Updated("", "S", "k", value);
    EXPECT_EQ(file, "[S]\r\nk=\"" + value + "\"\r\n");
    EXPECT_EQ(Value(file, "S", "k"), value);
  }
  for (const std::string value : {"", "\"", "\"x", "x'", "a b", "=x="}) {
    const std::string file = Updated("", "S", "k", value);
    EXPECT_EQ(file, "[S]\r\nk=" + value + "\r\n");
    EXPECT_EQ(Value(file, "S", "k"), value);
  }
}

// Random files of the pieces the format cares about, and random values.
class RandomIni {
 public:
  const std::vector<std::string> sections = {"A", "B", W("Připojení")};
  const std::vector<std::string> keys = {"k", "key", W("Číslo portu")};

  std::string File() {
    std::string file;
    for (int i = static_cast<int>(random_() % 40); i > 0; --i) {
      file += random_() % 8 == 0 ? std::string(1, static_cast<char>(random_() % 256)) : Piece();
    }
    return file;
  }
  // A value as it reaches the file: cut before a line break or NUL.
  std::string Value() {
    std::string value;
    for (int i = static_cast<int>(random_() % 6); i > 0; --i) value += Piece();
    return value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
  }
  size_t Below(size_t n) { return random_() % n; }

 private:
  const std::string& Piece() { return pieces_[random_() % pieces_.size()]; }

  const std::vector<std::string> pieces_ = {
      "[A]", "[a]", "[ b ]", W("[PŘIPOJENÍ]"), W("[připojení]"), "[", "]", "=", "k", "K", "key", "KEY",
      W("číslo portu"), " ", "\t", "\r", "\n", "\r\n", "\n", ";", "\"", "'", std::string(1, '\0'), "\x1A",
      "\xA0", "v", "1", "[A", "B]"};
  std::mt19937 random_{1234};
};

// Any content: a write reads back, and no other key changes its value.
TEST(IniWrite, RandomContentReadsBackAndLeavesOtherKeys) {
  RandomIni random;
  const auto& sections = random.sections;
  const auto& keys = random.keys;
  for (int round = 0; round < 3000; ++round) {
    const std::string file = random.File();
    const size_t s = random.Below(sections.size());
    const size_t k = random.Below(keys.size());
    const std::string value = random.Value();

    IniDocument ini(file);
    std::vector<std::string> before;
    for (const auto& sec : sections) {
      for (const auto& key : keys) before.push_back(ini.ReadString(sec, key, "<none>"));
    }
    ini.WriteString(sections[s], keys[k], value);
    ASSERT_EQ(ini.ReadString(sections[s], keys[k], "<none>"), value) << "round " << round;
    size_t index = 0;
    for (size_t i = 0; i < sections.size(); ++i) {
      for (size_t j = 0; j < keys.size(); ++j, ++index) {
        if (i == s && j == k) continue;
        ASSERT_EQ(ini.ReadString(sections[i], keys[j], "<none>"), before[index]) << "round " << round;
      }
    }
  }
}

// A document keeps a table of its lines across updates, and a read looks up
// many keys in one walk: after every update both agree with a fresh parse
// of the bytes, key by key.
TEST(IniWrite, RandomUpdatesInARowMatchAFreshParse) {
  RandomIni random;
  for (int round = 0; round < 1500; ++round) {
    IniDocument ini(random.File());
    for (int update = 0; update < 4; ++update) {
      const std::string& section = random.sections[random.Below(random.sections.size())];
      const std::string& key = random.keys[random.Below(random.keys.size())];
      const std::string value = random.Value();
      IniDocument fresh(ini.Bytes());
      fresh.WriteString(section, key, value);
      ini.WriteString(section, key, value);
      ASSERT_EQ(ini.Bytes(), fresh.Bytes()) << "round " << round << ", update " << update;

      std::vector<IniDocument::Query> queries;
      for (const auto& sec : random.sections) {
        for (const auto& k : random.keys) queries.emplace_back(sec, k);
      }
      ini.FindAll(queries.data(), queries.size());
      for (const auto& query : queries) {
        std::string one;
        ASSERT_EQ(query.found, IniDocument(ini.Bytes()).Find(query.section, query.key, one)) << "round " << round;
        if (query.found) {
          ASSERT_EQ(query.value, one) << "round " << round;
        }
      }
    }
  }
}

}  // namespace
