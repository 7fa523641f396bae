// A driver library file shorter than its own ELF headers say (a copy cut
// short, a full disk) is refused with the load error 100 + type before it
// is mapped. Mapped, it killed the program with SIGBUS. This binary lives
// in a folder of its own, where it puts the cut copies of the real
// TDQ2847.DLL; each load runs in a child, so a crash is seen as one.
#include <gtest/gtest.h>

#include <elf.h>
#include <link.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "PlantedFolder.h"
#include "TempDir.h"
#include "Txxx847.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMappedAnyway = 250;

// The child's exit code: DriverInit's result, or kMappedAnyway when the
// refused file is mapped all the same.
int LoadInChild() {
  const std::string ip = "127.0.0.1";
  intptr_t params[kInitParamCount] = {reinterpret_cast<intptr_t>(ip.c_str()), 5999, 40};
  int32_t handle = 0;
  const int32_t result = DriverInit(itDq2847, handle, params);
  if (result == 104 && !faults::MappedFiles("TDQ2847.DLL").empty()) return kMappedAnyway;
  return result;
}

// Where a cut lands, from the headers of the whole library.
using CutPoint = std::function<size_t(const std::string& whole)>;

template <class T>
T At(const std::string& bytes, size_t offset) {
  T value;
  std::memcpy(&value, bytes.data() + offset, sizeof value);
  return value;
}

size_t EndOfLastSegment(const std::string& whole) {
  const auto header = At<ElfW(Ehdr)>(whole, 0);
  size_t end = 0;
  for (size_t i = 0; i < header.e_phnum; ++i) {
    const auto segment = At<ElfW(Phdr)>(whole, header.e_phoff + i * header.e_phentsize);
    if (segment.p_type == PT_LOAD) end = std::max<size_t>(end, segment.p_offset + segment.p_filesz);
  }
  return end;
}

TEST(DamagedLibrary, FileCutShortOfItsHeadersIsRefusedBeforeItIsMapped) {
  const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path installed = programFolder / "TDQ2847.DLL";
  const std::string whole = dqtest::ReadFile(DQ_OUTPUT_DIR "/TDQ2847.DLL");
  ASSERT_GT(whole.size(), 16384u);
  const auto header = At<ElfW(Ehdr)>(whole, 0);
  // The headers must be where the cuts below expect them.
  ASSERT_LT(header.e_phoff + header.e_phnum * header.e_phentsize, 4096u);
  ASSERT_EQ(header.e_shoff + header.e_shnum * header.e_shentsize, whole.size());
  ASSERT_LT(EndOfLastSegment(whole), header.e_shoff);

  struct Row {
    const char* name;
    CutPoint cut;
    int32_t expected;
  };
  const Row rows[] = {
      {"the whole file (loads)", [](const std::string& w) { return w.size(); }, 0},
      {"its first 4 KiB", [](const std::string&) { return size_t{4096}; }, 104},
      {"the ELF header only", [](const std::string&) { return sizeof(ElfW(Ehdr)); }, 104},
      {"inside the program header table",
       [](const std::string& w) {
         const auto h = At<ElfW(Ehdr)>(w, 0);
         return h.e_phoff + h.e_phentsize + h.e_phentsize / 2;
       },
       104},
      {"one byte short of its last loaded segment", [](const std::string& w) { return EndOfLastSegment(w) - 1; },
       104},
      {"inside the section header table", [](const std::string& w) { return w.size() - 1; }, 104},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const size_t size = row.cut(whole);
    dqtest::WriteFile(installed.string(), whole.substr(0, size));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(LoadInChild());
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) {
      ADD_FAILURE() << "the load of " << size << " bytes killed the process with signal " << WTERMSIG(status) << " ("
                    << strsignal(WTERMSIG(status)) << ")";
      continue;
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), kMappedAnyway) << "refused, but mapped all the same";
    EXPECT_EQ(WEXITSTATUS(status), row.expected) << size << " of " << whole.size() << " bytes";
  }
  fs::remove(installed);
}

}  // namespace
