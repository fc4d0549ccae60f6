// Little helpers for reading and writing RAR headers: bounded reads from the archive file, the
// RAR 5 variable-length integer, little-endian numbers and CRC-32.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace svregistration::archive {

/// Reads exactly `size` bytes at `offset` of `fd`; nullopt at the end of the file or an error.
std::optional<std::string> ReadAt(int fd, std::uint64_t offset, std::size_t size);
/// The size of the file open on `fd` (0 when it cannot be told).
std::uint64_t FileSize(int fd);

std::uint32_t Crc32(std::string_view bytes);

/// Reads a RAR 5 vint (7 bits a byte, low first, high bit = more, at most 10 bytes) at `pos`,
/// advancing it. False on a truncated or overlong value.
bool ReadVint(std::string_view data, std::size_t& pos, std::uint64_t& value);
void AppendVint(std::string& out, std::uint64_t value);

std::uint32_t Le32(std::string_view data, std::size_t pos);
std::uint16_t Le16(std::string_view data, std::size_t pos);
void AppendLe(std::string& out, std::uint64_t value, int bytes);
void PutLe(std::string& out, std::size_t pos, std::uint64_t value, int bytes);

}  // namespace svregistration::archive
