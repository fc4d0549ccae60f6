// The keys and ciphers of encrypted RAR archives: the key derivations of RAR 4 (SHA-1 rounds,
// AES-128) and RAR 5 (PBKDF2-HMAC-SHA256, AES-256), a cache that derives each key once per
// (password, salt, count), AES-CBC decryption a buffer at a time, and the MAC that RAR 5 puts
// in place of a member's checksums.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace svregistration::archive {

using Rar5Salt = std::array<std::uint8_t, 16>;
using Rar4Salt = std::array<std::uint8_t, 8>;
using Digest32 = std::array<std::uint8_t, 32>;

/// What a RAR 5 password and salt give: the AES-256 key, the key of the checksum MAC and the
/// 8-byte value that tells a wrong password.
struct Rar5Keys {
  Digest32 key{};
  Digest32 hash_key{};
  std::array<std::uint8_t, 8> check{};
};

/// What a RAR 4 password and salt give: the AES-128 key and the IV.
struct Rar4Keys {
  std::array<std::uint8_t, 16> key{};
  std::array<std::uint8_t, 16> iv{};
};

/// The largest RAR 5 KDF count (log2 of the iterations) accepted; archives store at most 24.
inline constexpr unsigned kMaxRar5KdfCount = 24;

Rar5Keys DeriveRar5Keys(const std::string& password_utf8, const Rar5Salt& salt,
                        unsigned log2_count);
Rar4Keys DeriveRar4Keys(const std::string& password_utf8, const Rar4Salt& salt);

/// Derives each key once: members of one archive mostly share their salt. A cache may be given
/// a budget of derivations (fuzzing keeps hostile archives of many salts fast); past it, and for
/// RAR 5 counts above the limit, no key is given.
class RarKeyCache {
 public:
  explicit RarKeyCache(std::size_t max_derivations = SIZE_MAX,
                       unsigned max_rar5_count = kMaxRar5KdfCount)
      : derivations_left_(max_derivations), max_rar5_count_(max_rar5_count) {}

  const Rar5Keys* Rar5(const std::string& password, const Rar5Salt& salt, unsigned log2_count);
  const Rar4Keys* Rar4(const std::string& password, const Rar4Salt& salt);

 private:
  std::size_t derivations_left_;
  unsigned max_rar5_count_;
  std::map<std::tuple<std::string, Rar5Salt, unsigned>, Rar5Keys> rar5_;
  std::map<std::pair<std::string, Rar4Salt>, Rar4Keys> rar4_;
};

/// AES-CBC decryption without padding, 16 or 32 byte keys; successive calls continue the chain.
class CbcDecryptor {
 public:
  CbcDecryptor(const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv);
  ~CbcDecryptor();
  CbcDecryptor(const CbcDecryptor&) = delete;
  CbcDecryptor& operator=(const CbcDecryptor&) = delete;

  /// Decrypts `size` bytes (a multiple of 16) from `in` to `out`, which may be the same.
  void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size);

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

/// The CRC-32 a RAR 5 archive stores for a member whose checksums are MAC'd.
std::uint32_t Rar5MacCrc(const Digest32& hash_key, std::uint32_t crc);
/// The BLAKE2sp digest a RAR 5 archive stores for such a member.
Digest32 Rar5MacDigest(const Digest32& hash_key, const Digest32& digest);

/// The first four bytes of SHA-256 of the 8-byte password check value, as RAR 5 stores them.
std::array<std::uint8_t, 4> Rar5CheckSum(const std::array<std::uint8_t, 8>& check);

}  // namespace svregistration::archive
