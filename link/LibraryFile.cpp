#include "LibraryFile.h"

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/AtomicFile.h"

namespace {

// The ELF types of this process (ElfW picks the 32- or 64-bit ones).
using Header = ElfW(Ehdr);
using ProgramHeader = ElfW(Phdr);
using SectionHeader = ElfW(Shdr);

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char kOwnByteOrder = ELFDATA2LSB;
#else
constexpr unsigned char kOwnByteOrder = ELFDATA2MSB;
#endif
constexpr unsigned char kOwnClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;

// An open file descriptor, closed at the end of the scope.
class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd) : fd_(fd) {}
  ~TFileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// Whether [offset, offset + size) lies inside a file of fileSize bytes.
bool Inside(uint64_t offset, uint64_t size, uint64_t fileSize) {
  return offset <= fileSize && size <= fileSize - offset;
}

// A table of count entries of entrySize bytes at offset, each read as T.
template <class T>
bool ReadTable(int fd, uint64_t fileSize, uint64_t offset, uint64_t count, uint64_t entrySize, std::vector<T>& table) {
  if (count == 0) return true;
  if (entrySize < sizeof(T) || count > fileSize / entrySize || !Inside(offset, count * entrySize, fileSize)) {
    return false;
  }
  table.resize(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    if (!dqcore::ReadExactlyAt(fd, offset + i * entrySize, &table[static_cast<size_t>(i)], sizeof(T))) return false;
  }
  return true;
}

bool IsOwnSharedObject(const Header& header) {
  return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == kOwnClass &&
         header.e_ident[EI_DATA] == kOwnByteOrder && header.e_type == ET_DYN;
}

}  // namespace

bool LibraryFileIsWhole(const std::string& path) {
  const TFileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st;
  if (file.Get() < 0 || fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  Header header;
  if (!dqcore::ReadExactlyAt(file.Get(), 0, &header, sizeof header) || !IsOwnSharedObject(header)) return false;

  std::vector<ProgramHeader> segments;
  if (header.e_phnum == 0 ||
      !ReadTable(file.Get(), size, header.e_phoff, header.e_phnum, header.e_phentsize, segments)) {
    return false;
  }
  for (const ProgramHeader& segment : segments) {
    if (!Inside(segment.p_offset, segment.p_filesz, size)) return false;
  }
  // The loader does not read the sections, but a file cut inside them is
  // just as damaged: it is not the library that was built.
  std::vector<SectionHeader> sections;
  if (!ReadTable(file.Get(), size, header.e_shoff, header.e_shnum, header.e_shentsize, sections)) return false;
  for (const SectionHeader& section : sections) {
    if (section.sh_type != SHT_NOBITS && !Inside(section.sh_offset, section.sh_size, size)) return false;
  }
  return true;
}
