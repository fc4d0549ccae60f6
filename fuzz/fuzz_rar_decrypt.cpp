// Fuzz target of the decryption of RAR archives on their way to libarchive: the input is read as
// a RAR 4 or RAR 5 archive with encryption, its headers read with the password "password", every
// member rewritten in clear alone and the clear archive read through by libarchive (at most
// 1 MiB of each member's data). Key derivation has a budget of two, so inputs with many salts or
// huge iteration counts stay fast; the data path still sees the keys of the real archives.
#include <archive.h>
#include <archive_entry.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/archive_handle.h"
#include "archive/clear_archive_stream.h"
#include "archive/rar_clear_source.h"
#include "fuzz_support.h"

namespace {

using namespace svregistration::archive;
constexpr std::size_t kMaxMemberOutput = 1 << 20;

void ReadThrough(int fd, RarClearSource& source, std::size_t index) {
  ClearArchiveStream stream(fd);
  source.AppendStart(stream);
  std::optional<RarMacCheck> mac;
  if (!source.AppendMember(stream, index, "password", mac)) return;
  source.AppendEnd(stream);
  ReadHandle reader = NewReader();
  archive_read_support_format_rar(reader.get());
  archive_read_support_format_rar5(reader.get());
  if (!stream.OpenReader(reader.get())) return;
  archive_entry* entry = nullptr;
  while (archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK) {
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    std::size_t total = 0;
    while (total < kMaxMemberOutput &&
           archive_read_data_block(reader.get(), &block, &size, &offset) == ARCHIVE_OK) {
      total += size + 1;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("rar", MFD_CLOEXEC);
  svregistration::fuzz::Require(fd >= 0, "memfd_create");
  svregistration::fuzz::Require(::write(fd, data, size) == static_cast<ssize_t>(size), "write");
  {
    RarKeyCache keys(2);
    std::unique_ptr<RarClearSource> source = OpenRar5ClearSource(fd, keys);
    if (!source) source = OpenRar4ClearSource(fd, keys);
    if (source) {
      source->ReadMembers("password");
      for (std::size_t i = 0; i < source->Members().size(); ++i) ReadThrough(fd, *source, i);
    }
  }
  ::close(fd);
  return 0;
}
