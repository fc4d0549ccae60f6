// Archives made on the spot, the scripted user interface and folder listings for the archive
// tests.
#include "archive_test_support.h"

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <stdexcept>

#include "support/temp_dir.h"

namespace svregistration::testing {

namespace fs = std::filesystem;

namespace {

void Check(int status, ::archive* handle, const char* what) {
  if (status < ARCHIVE_WARN) {
    throw std::runtime_error(std::string(what) + ": " + archive_error_string(handle));
  }
}

void Put16(std::string& out, unsigned value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

/// A RAR 4 block: the CRC (low 16 bits of the CRC-32 of the rest) in front of `rest`, whose
/// size field the caller left at 0 and which is filled in here.
std::string Block(std::string rest, bool damaged = false) {
  const auto size = static_cast<unsigned>(rest.size() + 2);
  rest[3] = static_cast<char>(size & 0xFF);
  rest[4] = static_cast<char>(size >> 8);
  std::string block;
  Put16(block, (Crc32(rest) & 0xFFFF) ^ (damaged ? 0x5A5Au : 0u));
  return block + rest;
}

}  // namespace

std::uint32_t Crc32(const std::string& bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (char ch : bytes) crc = table[(crc ^ static_cast<std::uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void WriteZip(const std::string& path, const std::vector<Member>& members,
              const ZipOptions& options) {
  ::archive* writer = archive_write_new();
  Check(archive_write_set_format_zip(writer), writer, "zip format");
  if (!options.options.empty()) {
    Check(archive_write_set_options(writer, options.options.c_str()), writer, "zip options");
  }
  if (!options.password.empty()) {
    Check(archive_write_set_passphrase(writer, options.password.c_str()), writer, "passphrase");
  }
  Check(archive_write_open_filename(writer, path.c_str()), writer, "open");
  for (const Member& member : members) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, member.name.c_str());
    archive_entry_set_mtime(entry, 1700000000, 0);
    if (member.kind == Kind::kFolder) {
      archive_entry_set_filetype(entry, AE_IFDIR);
      archive_entry_set_perm(entry, 0755);
    } else if (member.kind == Kind::kSymlink) {
      archive_entry_set_filetype(entry, AE_IFLNK);
      archive_entry_set_perm(entry, 0777);
      archive_entry_set_symlink(entry, member.data.c_str());
    } else {
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_perm(entry, 0644);
      archive_entry_set_size(entry, static_cast<la_int64_t>(member.data.size()));
    }
    Check(archive_write_header(writer, entry), writer, "header");
    if (member.kind == Kind::kFile && !member.data.empty()) {
      archive_write_data(writer, member.data.data(), member.data.size());
    }
    archive_entry_free(entry);
  }
  Check(archive_write_close(writer), writer, "close");
  archive_write_free(writer);
}

std::string Rar4Archive(const std::vector<Member>& members, int damaged) {
  std::string out("Rar!\x1A\x07\x00", 7);
  // Main header: type 0x73, no flags, six reserved bytes.
  out += Block(std::string("\x73\x00\x00\x00\x00", 5) + std::string(6, '\0'));
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    const bool folder = m.kind == Kind::kFolder;
    std::string rest;
    rest.push_back('\x74');  // file header
    // Always "long block" (the packed size follows); 0x04 encrypted; 0xE0 a folder.
    Put16(rest, 0x8000u | (m.encrypted ? 0x04u : 0u) | (folder ? 0xE0u : 0u));
    Put16(rest, 0);                                          // size, filled in by Block
    Put32(rest, static_cast<std::uint32_t>(m.data.size()));  // packed size
    Put32(rest, static_cast<std::uint32_t>(m.data.size()));  // unpacked size
    rest.push_back('\x02');                                  // host: Windows
    Put32(rest, Crc32(m.data));
    Put32(rest, (40u << 25) | (1u << 21) | (1u << 16));  // 2020-01-01 00:00 as a DOS time
    rest.push_back('\x14');                              // version 2.0
    rest.push_back('\x30');                              // stored
    Put16(rest, static_cast<unsigned>(m.name.size()));
    Put32(rest, folder ? 0x10u : 0x20u);  // Windows attributes
    rest += m.name;
    out += Block(rest, static_cast<int>(i) == damaged) + m.data;
  }
  out += Block(std::string("\x7B\x00\x40\x00\x00", 5));  // end of archive
  return out;
}

std::map<std::string, std::string> Listing(const fs::path& root) {
  std::map<std::string, std::string> listing;
  std::error_code ignored;
  if (!fs::exists(root, ignored)) return listing;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    const std::string relative = item.path().lexically_relative(root).string();
    if (item.is_symlink()) {
      listing[relative] = "-> " + fs::read_symlink(item.path()).string();
    } else if (item.is_directory()) {
      listing[relative] = "<dir>";
    } else {
      listing[relative] = ReadFile(item.path());
    }
  }
  return listing;
}

std::shared_ptr<ScriptedUserInterface> InstallScript(std::vector<std::string> answers) {
  auto ui = std::make_shared<ScriptedUserInterface>(std::move(answers));
  SetUserInterface(ui);
  return ui;
}

}  // namespace svregistration::testing
