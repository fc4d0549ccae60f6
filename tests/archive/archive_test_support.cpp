// Archives made on the spot and folder listings for the archive tests.
#include "archive_test_support.h"

#include <archive.h>
#include <archive_entry.h>
#include <zlib.h>

#include <stdexcept>

namespace svregistration::testing {

namespace fs = std::filesystem;

namespace {

void Check(int status, ::archive* handle, const char* what) {
  if (status < ARCHIVE_WARN) {
    throw std::runtime_error(std::string(what) + ": " + archive_error_string(handle));
  }
}

void Put(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

/// A RAR 4 block: the CRC (low 16 bits of the CRC-32 of the rest) in front of `rest`, whose
/// size field (bytes 3-4) is filled in here.
std::string Block(std::string rest, bool damaged = false) {
  rest[3] = static_cast<char>((rest.size() + 2) & 0xFF);
  rest[4] = static_cast<char>((rest.size() + 2) >> 8);
  std::string block;
  Put(block, (Crc32(rest) & 0xFFFF) ^ (damaged ? 0x5A5Au : 0u), 2);
  return block + rest;
}

/// The header of a stored RAR 4 file member (or of one part of it).
std::string Rar4FileHeader(const Member& m, unsigned flags, std::size_t packed, std::uint32_t crc) {
  const bool folder = m.kind == Kind::kFolder;
  std::string rest("\x74", 1);  // file header
  // Always "long block" (the packed size follows); 0x04 encrypted; 0xE0 a folder.
  Put(rest, 0x8000u | flags | (m.encrypted ? 0x04u : 0u) | (folder ? 0xE0u : 0u), 2);
  Put(rest, 0, 2);  // size, filled in by Block
  Put(rest, static_cast<std::uint32_t>(packed), 4);
  Put(rest, static_cast<std::uint32_t>(m.data.size()), 4);  // unpacked size
  rest.push_back('\x02');                                   // host: Windows
  Put(rest, crc, 4);
  Put(rest, (40u << 25) | (1u << 21) | (1u << 16), 4);  // 2020-01-01 00:00 as a DOS time
  rest += "\x14\x30";                                   // version 2.0, stored
  Put(rest, static_cast<std::uint32_t>(m.name.size()), 2);
  Put(rest, folder ? 0x10u : 0x20u, 4);  // Windows attributes
  return rest + m.name;
}

}  // namespace

std::uint32_t Crc32(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

void WriteArchive(const std::string& path, const std::vector<Member>& members,
                  const std::string& options, const std::string& password,
                  const std::string& format) {
  ::archive* writer = archive_write_new();
  Check(archive_write_set_format_by_name(writer, format.c_str()), writer, "format");
  if (!options.empty())
    Check(archive_write_set_options(writer, options.c_str()), writer, "options");
  if (!password.empty())
    Check(archive_write_set_passphrase(writer, password.c_str()), writer, "pw");
  Check(archive_write_open_filename(writer, path.c_str()), writer, "open");
  for (const Member& member : members) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, member.name.c_str());
    archive_entry_set_mtime(entry, 1700000000, 0);
    archive_entry_set_filetype(entry, member.kind == Kind::kFolder    ? AE_IFDIR
                                      : member.kind == Kind::kSymlink ? AE_IFLNK
                                                                      : AE_IFREG);
    const int perm = member.perm >= 0 ? member.perm : member.kind == Kind::kFile ? 0644 : 0755;
    archive_entry_set_perm(entry, static_cast<mode_t>(perm));
    if (member.kind == Kind::kSymlink) archive_entry_set_symlink(entry, member.data.c_str());
    if (!member.hardlink.empty()) archive_entry_set_hardlink(entry, member.hardlink.c_str());
    if (member.kind == Kind::kFile) {
      archive_entry_set_size(entry, static_cast<la_int64_t>(member.data.size()));
    }
    Check(archive_write_header(writer, entry), writer, "header");
    if (member.kind == Kind::kFile)
      archive_write_data(writer, member.data.data(), member.data.size());
    archive_entry_free(entry);
  }
  Check(archive_write_close(writer), writer, "close");
  archive_write_free(writer);
}

std::vector<std::string> Rar4VolumeSet(const std::vector<Member>& members,
                                       std::size_t data_per_volume, int damaged) {
  const bool set = data_per_volume != std::string::npos;  // the main header's volume flag
  const std::string start =
      std::string("Rar!\x1A\x07\x00", 7) +
      Block(std::string("\x73", 1) + (set ? '\x01' : '\0') + std::string(9, '\0'));
  std::vector<std::string> volumes{start};
  std::size_t room = data_per_volume;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    for (std::size_t at = 0; at < m.data.size() || at == 0;) {
      if (room == 0) {
        volumes.back() += Block(std::string("\x7B\x01\x40\x00\x00", 5));  // goes on
        volumes.push_back(start);
        room = data_per_volume;
      }
      const std::size_t size = std::min(room, m.data.size() - at);
      const bool last = at + size == m.data.size();
      const unsigned split = (at > 0 ? 0x01u : 0u) | (last ? 0u : 0x02u);
      // Each part but the last carries the CRC of its own bytes, the last that of the file.
      const std::uint32_t crc = last ? Crc32(m.data) : Crc32(m.data.substr(at, size));
      volumes.back() += Block(Rar4FileHeader(m, split, size, crc), static_cast<int>(i) == damaged) +
                        m.data.substr(at, size);
      room -= size;
      at += size;
      if (m.data.empty()) break;
    }
  }
  volumes.back() += Block(std::string("\x7B\x00\x40\x00\x00", 5));  // end of archive
  return volumes;
}

std::string Rar4Archive(const std::vector<Member>& members, int damaged) {
  return Rar4VolumeSet(members, std::string::npos, damaged)[0];
}

std::vector<std::string> NotExtracted(const ExtractionReport& report) {
  std::vector<std::string> names;
  for (const auto& member : report.not_extracted) names.push_back(member.name);
  return names;
}

std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> listing;
  if (!fs::exists(root)) return listing;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    std::string& what = listing[item.path().lexically_relative(root).string()];
    what = item.is_symlink()     ? "-> " + fs::read_symlink(item.path()).string()
           : item.is_directory() ? "<dir>"
                                 : ReadFile(item.path());
  }
  return listing;
}

}  // namespace svregistration::testing
