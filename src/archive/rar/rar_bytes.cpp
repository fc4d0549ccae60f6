// Reading and writing the numbers of RAR headers.
#include "archive/rar/rar_bytes.h"

#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>

namespace svregistration::archive {

std::optional<std::string> ReadAt(int fd, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, bytes.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<std::size_t>(n);
  }
  return bytes;
}

std::uint64_t FileSize(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

std::uint32_t Crc32(std::string_view bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (!bytes.empty()) {
    const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size(), 1u << 30));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), chunk);
    bytes.remove_prefix(chunk);
  }
  return static_cast<std::uint32_t>(crc);
}

bool ReadVint(std::string_view data, std::size_t& pos, std::uint64_t& value) {
  value = 0;
  for (unsigned shift = 0; shift < 64 && pos < data.size(); shift += 7) {
    const auto byte = static_cast<std::uint8_t>(data[pos++]);
    value |= static_cast<std::uint64_t>(byte & 0x7Fu) << shift;
    if ((byte & 0x80u) == 0) return true;
  }
  return false;
}

void AppendVint(std::string& out, std::uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<char>(value));
}

std::uint32_t Le32(std::string_view data, std::size_t pos) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = (value << 8) | static_cast<std::uint8_t>(data[pos + static_cast<std::size_t>(i)]);
  }
  return value;
}

std::uint16_t Le16(std::string_view data, std::size_t pos) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(data[pos]) |
                                    (static_cast<std::uint8_t>(data[pos + 1]) << 8));
}

void AppendLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutLe(std::string& out, std::size_t pos, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) {
    out[pos + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

}  // namespace svregistration::archive
