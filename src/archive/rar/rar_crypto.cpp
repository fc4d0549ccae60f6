// RAR key derivation and AES over OpenSSL's libcrypto. The derivations run tens of thousands of
// digest rounds; the low-level SHA contexts are plain structures copied by value each round,
// far cheaper than the EVP interface's contexts, so their deprecation is silenced here only.
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include "archive/rar/rar_crypto.h"

#include <openssl/evp.h>
#include <openssl/sha.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>

#include "svregistration/error.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kShaBlock = 64;

/// HMAC-SHA256 with the padded key absorbed once; each MAC copies the two prepared contexts.
class HmacSha256 {
 public:
  explicit HmacSha256(const std::string& key) {
    std::array<std::uint8_t, kShaBlock> block{};
    if (key.size() > kShaBlock) {
      SHA256(reinterpret_cast<const unsigned char*>(key.data()), key.size(), block.data());
    } else {
      std::memcpy(block.data(), key.data(), key.size());
    }
    std::array<std::uint8_t, kShaBlock> pad{};
    for (std::size_t i = 0; i < kShaBlock; ++i) pad[i] = block[i] ^ 0x36;
    SHA256_Init(&inner_);
    SHA256_Update(&inner_, pad.data(), pad.size());
    for (std::size_t i = 0; i < kShaBlock; ++i) pad[i] = block[i] ^ 0x5C;
    SHA256_Init(&outer_);
    SHA256_Update(&outer_, pad.data(), pad.size());
  }

  Digest32 Mac(const std::uint8_t* a, std::size_t a_size, const std::uint8_t* b = nullptr,
               std::size_t b_size = 0) const {
    Digest32 inner_digest{};
    SHA256_CTX context = inner_;
    SHA256_Update(&context, a, a_size);
    if (b_size != 0) SHA256_Update(&context, b, b_size);
    SHA256_Final(inner_digest.data(), &context);
    context = outer_;
    SHA256_Update(&context, inner_digest.data(), inner_digest.size());
    Digest32 result{};
    SHA256_Final(result.data(), &context);
    return result;
  }

 private:
  SHA256_CTX inner_{};
  SHA256_CTX outer_{};
};

void XorInto(Digest32& sum, const Digest32& value) {
  for (std::size_t i = 0; i < sum.size(); ++i) sum[i] ^= value[i];
}

/// The password as RAR 4 hashes it: UTF-16 little-endian, without a terminator.
std::string Utf16Le(const std::string& utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.length()) * 2);
  for (int32_t i = 0; i < text.length(); ++i) {
    const char16_t unit = text.charAt(i);
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace

Rar5Keys DeriveRar5Keys(const std::string& password_utf8, const Rar5Salt& salt,
                        unsigned log2_count) {
  // PBKDF2 with one block: U1 = HMAC(salt || 1), Ui = HMAC(Ui-1), the key the XOR of U1..Un;
  // the chain goes on for 16 more rounds to the hash key and 16 more to the check value.
  const HmacSha256 hmac(password_utf8);
  const std::uint8_t block_index[4] = {0, 0, 0, 1};
  Digest32 u = hmac.Mac(salt.data(), salt.size(), block_index, sizeof block_index);
  Digest32 sum = u;
  Rar5Keys keys;
  const std::uint64_t rounds = std::uint64_t{1} << std::min(log2_count, kMaxRar5KdfCount);
  if (rounds == 1) keys.key = sum;
  for (std::uint64_t round = 2; round <= rounds + 32; ++round) {
    u = hmac.Mac(u.data(), u.size());
    XorInto(sum, u);
    if (round == rounds) keys.key = sum;
    if (round == rounds + 16) keys.hash_key = sum;
  }
  for (std::size_t i = 0; i < sum.size(); ++i) keys.check[i % keys.check.size()] ^= sum[i];
  return keys;
}

Rar4Keys DeriveRar4Keys(const std::string& password_utf8, const Rar4Salt& salt) {
  constexpr std::uint32_t kRounds = 0x40000;
  constexpr std::uint32_t kIvStep = kRounds / 16;
  constexpr std::uint32_t kBatch = 256;  // rounds hashed in one update: the calls dominate
  std::string text = Utf16Le(password_utf8);
  text.append(reinterpret_cast<const char*>(salt.data()), salt.size());
  const std::size_t round_size = text.size() + 3;
  // The text of kBatch rounds; only the counters change from batch to batch.
  std::string batch;
  batch.reserve(round_size * kBatch);
  for (std::uint32_t i = 0; i < kBatch; ++i) batch.append(text).append(3, '\0');
  auto* bytes = reinterpret_cast<unsigned char*>(batch.data());

  Rar4Keys keys;
  SHA_CTX context;
  SHA1_Init(&context);
  std::array<std::uint8_t, SHA_DIGEST_LENGTH> digest{};
  for (std::uint32_t round = 0; round < kRounds;) {
    // A round whose digest gives a byte of the IV is hashed alone, the others in batches.
    const bool iv_round = round % kIvStep == 0;
    const std::uint32_t count =
        iv_round ? 1 : std::min(kBatch, (round / kIvStep + 1) * kIvStep - round);
    for (std::uint32_t i = 0; i < count; ++i) {
      unsigned char* counter = bytes + round_size * (i + 1) - 3;
      const std::uint32_t value = round + i;
      counter[0] = static_cast<unsigned char>(value);
      counter[1] = static_cast<unsigned char>(value >> 8);
      counter[2] = static_cast<unsigned char>(value >> 16);
    }
    SHA1_Update(&context, bytes, round_size * count);
    if (iv_round) {
      SHA_CTX so_far = context;
      SHA1_Final(digest.data(), &so_far);
      keys.iv[round / kIvStep] = digest[SHA_DIGEST_LENGTH - 1];
    }
    round += count;
  }
  SHA1_Final(digest.data(), &context);
  // The key is the digest's first four 32-bit words, each turned from big- to little-endian.
  for (std::size_t i = 0; i < keys.key.size(); ++i) keys.key[i] = digest[(i & ~3u) + 3 - (i & 3)];
  return keys;
}

const Rar5Keys* RarKeyCache::Rar5(const std::string& password, const Rar5Salt& salt,
                                  unsigned log2_count) {
  auto key = std::make_tuple(password, salt, log2_count);
  auto found = rar5_.find(key);
  if (found == rar5_.end()) {
    if (derivations_left_ == 0 || log2_count > max_rar5_count_) return nullptr;
    --derivations_left_;
    found = rar5_.emplace(std::move(key), DeriveRar5Keys(password, salt, log2_count)).first;
  }
  return &found->second;
}

const Rar4Keys* RarKeyCache::Rar4(const std::string& password, const Rar4Salt& salt) {
  auto key = std::make_pair(password, salt);
  auto found = rar4_.find(key);
  if (found == rar4_.end()) {
    if (derivations_left_ == 0) return nullptr;
    --derivations_left_;
    found = rar4_.emplace(std::move(key), DeriveRar4Keys(password, salt)).first;
  }
  return &found->second;
}

struct CbcDecryptor::Context {
  EVP_CIPHER_CTX* cipher = EVP_CIPHER_CTX_new();
  ~Context() { EVP_CIPHER_CTX_free(cipher); }
};

CbcDecryptor::CbcDecryptor(const std::uint8_t* key, std::size_t key_size, const std::uint8_t* iv)
    : context_(std::make_unique<Context>()) {
  const EVP_CIPHER* type = key_size == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
  if (context_->cipher == nullptr ||
      EVP_DecryptInit_ex(context_->cipher, type, nullptr, key, iv) != 1 ||
      EVP_CIPHER_CTX_set_padding(context_->cipher, 0) != 1) {
    throw Error(7, "libcrypto", "Out of memory: cannot set up AES decryption");
  }
}

CbcDecryptor::~CbcDecryptor() = default;

void CbcDecryptor::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t size) {
  int written = 0;
  if (size != 0 &&
      EVP_DecryptUpdate(context_->cipher, out, &written, in, static_cast<int>(size)) != 1) {
    throw Error(7, "libcrypto", "AES decryption failed on " + std::to_string(size) + " bytes");
  }
}

std::uint32_t Rar5MacCrc(const Digest32& hash_key, std::uint32_t crc) {
  const std::uint8_t bytes[4] = {
      static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
      static_cast<std::uint8_t>(crc >> 16), static_cast<std::uint8_t>(crc >> 24)};
  const std::string key(hash_key.begin(), hash_key.end());
  const Digest32 mac = HmacSha256(key).Mac(bytes, sizeof bytes);
  std::uint32_t folded = 0;
  for (std::size_t i = 0; i < mac.size(); ++i) folded ^= std::uint32_t{mac[i]} << (8 * (i % 4));
  return folded;
}

Digest32 Rar5MacDigest(const Digest32& hash_key, const Digest32& digest) {
  const std::string key(hash_key.begin(), hash_key.end());
  return HmacSha256(key).Mac(digest.data(), digest.size());
}

std::array<std::uint8_t, 4> Rar5CheckSum(const std::array<std::uint8_t, 8>& check) {
  std::array<std::uint8_t, SHA256_DIGEST_LENGTH> digest{};
  SHA256(check.data(), check.size(), digest.data());
  return {digest[0], digest[1], digest[2], digest[3]};
}

}  // namespace svregistration::archive
