// rar_decrypt_bench [WORK_DIR] [RUNS] [RAR4_FIXTURE]: RAR.Extract of encrypted members against the
// same members unencrypted, for RAR 5 (AES-256) and RAR 4 (AES-128), and the time of one key
// derivation. The archives (64 stored members of 256 KiB of source-like text, 16 MiB in all) are
// written here, encrypted the way the formats say with one salt per archive, so the cache derives
// one key per extraction. Prints the median of RUNS extractions of each and the ratios; every
// extracted file is compared with what was stored. Also the cost of holding stderr around a
// member that libunarr decodes.
#include <openssl/evp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archive/rar/rar_bytes.h"
#include "archive/rar/rar_crypto.h"
#include "archive/rar/unarr_diagnostics.h"
#include "svregistration/rar.h"
#include "svregistration/user_interface.h"

namespace {

namespace fs = std::filesystem;
namespace a = svregistration::archive;

constexpr int kMembers = 64;
constexpr std::size_t kMemberSize = 256 * 1024;
const std::string kPassword = "bench password";

struct Member {
  std::string name, data;
};

std::vector<Member> MakeMembers() {
  const char* words[] = {"MOVE", "ADD",     "COMPUTE",  "PERFORM",     "UNTIL",
                         "IF",   "DISPLAY", "WS-COUNT", "CUSTOMER-ID", "TO",
                         "FROM", "GIVING",  "ZERO",     "PIC"};
  std::mt19937 random(20240601);
  std::vector<Member> members;
  for (int i = 0; i < kMembers; ++i) {
    std::string text;
    while (text.size() < kMemberSize) {
      for (int w = 0; w < 8; ++w) text += std::string(words[random() % 14]) + " ";
      text += "\r\n";
    }
    text.resize(kMemberSize);
    members.push_back({"src/prog" + std::to_string(i) + ".cbl", std::move(text)});
  }
  return members;
}

/// AES-CBC over `data` padded with zeros to whole blocks.
std::string Encrypt(const EVP_CIPHER* cipher, const std::uint8_t* key, const std::uint8_t* iv,
                    std::string data) {
  data.resize((data.size() + 15) / 16 * 16, '\0');
  std::string out(data.size(), '\0');
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  int written = 0;
  EVP_EncryptInit_ex(context, cipher, nullptr, key, iv);
  EVP_CIPHER_CTX_set_padding(context, 0);
  EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &written,
                    reinterpret_cast<const unsigned char*>(data.data()),
                    static_cast<int>(data.size()));
  EVP_CIPHER_CTX_free(context);
  return out;
}

std::string Rar5Header(const std::string& body) {
  std::string sized;
  a::AppendVint(sized, body.size());
  sized += body;
  std::string header;
  a::AppendLe(header, a::Crc32(sized), 4);
  return header + sized;
}

std::string Rar5Archive(const std::vector<Member>& members, bool encrypted) {
  const a::Rar5Salt salt{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  constexpr unsigned kKdfCount = 15;
  const a::Rar5Keys keys = a::DeriveRar5Keys(kPassword, salt, kKdfCount);
  std::string out("Rar!\x1A\x07\x01\x00", 8);
  out += Rar5Header(std::string("\x01\x00\x00", 3));  // main header, no flags
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    std::array<std::uint8_t, 16> iv{};
    iv[0] = static_cast<std::uint8_t>(i);
    std::string data =
        encrypted ? Encrypt(EVP_aes_256_cbc(), keys.key.data(), iv.data(), m.data) : m.data;
    std::string record;
    if (encrypted) {
      std::string body("\x01\x00\x01", 3);  // type, version 0, flags: check present
      body.push_back(static_cast<char>(kKdfCount));
      body.append(salt.begin(), salt.end());
      body.append(iv.begin(), iv.end());
      body.append(keys.check.begin(), keys.check.end());
      const auto sum = a::Rar5CheckSum(keys.check);
      body.append(sum.begin(), sum.end());
      a::AppendVint(record, body.size());
      record += body;
    }
    std::string body;
    a::AppendVint(body, 2);                        // file header
    a::AppendVint(body, encrypted ? 0x03 : 0x02);  // extra area, data area
    if (encrypted) a::AppendVint(body, record.size());
    a::AppendVint(body, data.size());
    a::AppendVint(body, 0x04);  // CRC present
    a::AppendVint(body, m.data.size());
    a::AppendVint(body, 0100644);  // a file, rw-r--r--
    a::AppendLe(body, a::Crc32(m.data), 4);
    a::AppendVint(body, 0);  // stored
    a::AppendVint(body, 1);  // Unix
    a::AppendVint(body, m.name.size());
    body += m.name + record;
    out += Rar5Header(body) + data;
  }
  return out + Rar5Header(std::string("\x05\x00\x00", 3));
}

std::string Rar4Block(std::string rest) {
  std::string block(2, '\0');
  block += rest;
  a::PutLe(block, 5, block.size(), 2);
  a::PutLe(block, 0, a::Crc32(std::string_view(block).substr(2)) & 0xFFFF, 2);
  return block;
}

/// A RAR 4 archive of stored members; a solid one flags every member after the first as
/// continuing the one before, which the library decodes from one image of the whole archive.
std::string Rar4Archive(const std::vector<Member>& members, bool encrypted, bool solid) {
  const a::Rar4Salt salt{8, 7, 6, 5, 4, 3, 2, 1};
  const a::Rar4Keys keys = a::DeriveRar4Keys(kPassword, salt);
  std::string out("Rar!\x1A\x07\x00", 7);
  out += Rar4Block(std::string(solid ? "\x73\x08\x00\x00\x00" : "\x73\x00\x00\x00\x00", 5) +
                   std::string(6, '\0'));
  for (const Member& m : members) {
    std::string data =
        encrypted ? Encrypt(EVP_aes_128_cbc(), keys.key.data(), keys.iv.data(), m.data) : m.data;
    std::string rest("\x74", 1);
    const bool continues = solid && &m != &members.front();
    a::AppendLe(rest, 0x8000u | (encrypted ? 0x0404u : 0u) | (continues ? 0x0010u : 0u), 2);
    a::AppendLe(rest, 0, 2);
    a::AppendLe(rest, data.size(), 4);
    a::AppendLe(rest, m.data.size(), 4);
    rest.push_back('\x02');  // Windows
    a::AppendLe(rest, a::Crc32(m.data), 4);
    a::AppendLe(rest, (40u << 25) | (1u << 21) | (1u << 16), 4);
    rest += "\x1D\x30";  // version 2.9, stored
    a::AppendLe(rest, m.name.size(), 2);
    a::AppendLe(rest, 0x20, 4);
    rest += m.name;
    if (encrypted) rest.append(salt.begin(), salt.end());
    out += Rar4Block(rest) + data;
  }
  return out + Rar4Block(std::string("\x7B\x00\x40\x00\x00", 5));
}

std::string Rar4Plain(const std::vector<Member>& members, bool encrypted) {
  return Rar4Archive(members, encrypted, false);
}
std::string Rar4Solid(const std::vector<Member>& members, bool encrypted) {
  return Rar4Archive(members, encrypted, true);
}

/// A solid encrypted RAR 4 archive of `count` compressed members, each the first member of
/// `fixture` (a RAR 4 archive whose first member is compressed) under its own name, every member
/// after the first going on from the one before. Empty when the fixture cannot be read.
std::string Rar4SolidCompressed(const fs::path& fixture, int count, std::string& contents_crc) {
  std::ifstream in(fixture, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (bytes.size() < 40 || bytes.compare(0, 7, "Rar!\x1A\x07\x00", 7) != 0) return {};
  const std::size_t at = 7 + a::Le16(bytes, 12);  // the first file header, after the main one
  const std::string_view header(bytes.data() + at, bytes.size() - at);
  const std::size_t size = a::Le16(header, 5);
  const std::uint32_t packed = a::Le32(header, 7);
  const std::size_t name_size = a::Le16(header, 26);
  if (header[2] != '\x74' || size + packed > header.size()) return {};
  contents_crc = std::to_string(a::Le32(header, 16));
  const std::string data(header.substr(size, packed));
  const std::string after_name(header.substr(32 + name_size, size - 32 - name_size));
  const a::Rar4Salt salt{8, 7, 6, 5, 4, 3, 2, 1};
  const a::Rar4Keys keys = a::DeriveRar4Keys(kPassword, salt);
  const std::string encrypted = Encrypt(EVP_aes_128_cbc(), keys.key.data(), keys.iv.data(), data);
  std::string out("Rar!\x1A\x07\x00", 7);
  out += Rar4Block(std::string("\x73\x08\x00\x00\x00", 5) + std::string(6, '\0'));
  for (int i = 0; i < count; ++i) {
    const std::string name = "m" + std::to_string(i) + ".html";
    std::string rest(header.substr(2, 30));  // type, flags, size and the fixed fields
    const auto flags =
        static_cast<std::uint16_t>(a::Le16(header, 3) | 0x0404u | (i > 0 ? 0x0010u : 0u));
    a::PutLe(rest, 1, flags, 2);
    a::PutLe(rest, 5, encrypted.size(), 4);
    a::PutLe(rest, 24, name.size(), 2);
    rest += name + std::string(salt.begin(), salt.end()) + after_name;
    out += Rar4Block(rest) + encrypted;
  }
  return out + Rar4Block(std::string("\x7B\x00\x40\x00\x00", 5));
}

/// The system's shared memory (where anonymous memory files live) in KiB.
long ShmemKiB() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  long value = 0;
  std::string unit;
  while (meminfo >> key >> value >> unit) {
    if (key == "Shmem:") return value;
  }
  return 0;
}

/// The most shared memory `run` adds while it runs, sampled every half millisecond, in MiB.
double PeakShmemMiB(const std::function<void()>& run) {
  const long before = ShmemKiB();
  std::atomic<bool> done{false};
  std::atomic<long> peak{before};
  std::thread sampler([&] {
    while (!done) {
      peak = std::max(peak.load(), ShmemKiB());
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  run();
  done = true;
  sampler.join();
  return static_cast<double>(peak - before) / 1024.0;
}

struct Answer final : svregistration::UserInterface {
  void ShowMessage(const std::string&, const std::string&) override {}
  std::string AskText(const std::string&, const std::string&, bool) override { return kPassword; }
  std::string BrowseForFolder(std::intptr_t, const std::string&) override { return ""; }
  void ProcessPendingEvents() override {}
};

// A RAR object whose password question is answered.
svregistration::RAR Answering() {
  svregistration::RAR rar;
  rar.SetUserInterface(std::make_shared<Answer>());
  return rar;
}

double MedianMs(int runs, const std::function<void()>& prepare, const std::function<void()>& run) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    run();
    times.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

double TimeExtraction(const fs::path& work, const std::string& name, const std::string& bytes,
                      const std::vector<Member>& members, int runs) {
  const fs::path archive = work / name, out = work / "out";
  std::ofstream(archive, std::ios::binary) << bytes;
  const double ms = MedianMs(
      runs, [&] { fs::remove_all(out); },
      [&] { Answering().Extract(archive.string(), out.string(), ""); });
  for (const Member& m : members) {
    if (ReadAll(out / m.name) != m.data) {
      std::fprintf(stderr, "%s: %s did not extract as stored\n", name.c_str(), m.name.c_str());
      std::exit(1);
    }
  }
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "svreg-rar-bench";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  fs::create_directories(work);
  const std::vector<Member> members = MakeMembers();

  const a::Rar5Salt salt5{};
  const a::Rar4Salt salt4{};
  const double kdf5 = MedianMs(
      runs, [] {}, [&] { a::DeriveRar5Keys(kPassword, salt5, 15); });
  const double kdf4 = MedianMs(
      runs, [] {}, [&] { a::DeriveRar4Keys(kPassword, salt4); });
  std::printf("key derivation: RAR 5 (2^15 rounds) %.1f ms, RAR 4 (2^18 rounds) %.1f ms\n", kdf5,
              kdf4);

  std::printf("extraction of %d stored members, %zu MiB, median of %d runs:\n", kMembers,
              kMembers * kMemberSize >> 20, runs);
  const struct {
    const char* format;
    std::string (*write)(const std::vector<Member>&, bool);
    double kdf;
  } formats[] = {
      {"RAR 5", Rar5Archive, kdf5}, {"RAR 4", Rar4Plain, kdf4}, {"RAR 4 solid", Rar4Solid, kdf4}};
  for (const auto& format : formats) {
    const double plain =
        TimeExtraction(work, "plain.rar", format.write(members, false), members, runs);
    const double encrypted =
        TimeExtraction(work, "encrypted.rar", format.write(members, true), members, runs);
    std::printf(
        "  %s: plain %.1f ms, encrypted %.1f ms (one key derivation, %.1f ms): "
        "ratio %.2f, %.2f without the derivation\n",
        format.format, plain, encrypted, format.kdf, encrypted / plain,
        (encrypted - format.kdf) / plain);
  }
  // Every RAR 4 member libunarr decodes is read with stderr held (libunarr's own lines kept off).
  constexpr int kHolds = 10000;
  const double holds = MedianMs(
      runs, [] {},
      [] {
        for (int i = 0; i < kHolds; ++i) a::UnarrDiagnosticsHeld held;
      });
  std::printf("  holding stderr around one RAR 4 member: %.1f us\n", 1000.0 * holds / kHolds);
  // A solid encrypted RAR 4 archive of compressed members is decrypted into one anonymous memory
  // file for libunarr, and each member's size without the cipher's padding is found by decoding.
  // Shared memory counts files on tmpfs too: the members go to a folder on disk.
  const fs::path fixture = argc > 3 ? fs::path(argv[3])
                                    : fs::path(SVREG_SHARED_DIR) /
                                          "fixtures/rar/test_read_format_rar_compress_normal.rar";
  for (const int count : {16, 64}) {
    std::string crc;
    const std::string bytes = Rar4SolidCompressed(fixture, count, crc);
    if (bytes.empty()) {
      std::printf("  (no %s: no solid compressed RAR 4 figure)\n", fixture.c_str());
      break;
    }
    const fs::path solid = work / "solid.rar", out = "/var/tmp/svreg-rar-solid-out";
    std::ofstream(solid, std::ios::binary) << bytes;
    fs::remove_all(out);
    double ms = 0;
    const double peak = PeakShmemMiB([&] {
      const auto start = std::chrono::steady_clock::now();
      Answering().Extract(solid.string(), out.string(), "");
      ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
               .count();
    });
    int right = 0;
    for (int i = 0; i < count; ++i) {
      const std::string data = ReadAll(out / ("m" + std::to_string(i) + ".html"));
      right += std::to_string(a::Crc32(data)) == crc ? 1 : 0;
    }
    std::printf(
        "  RAR 4 solid, %d compressed members encrypted: %.1f ms, %d extracted whole, memory "
        "file at most %.2f MiB for an archive of %.2f MiB\n",
        count, ms, right, peak, static_cast<double>(bytes.size()) / (1 << 20));
    fs::remove_all(out);
  }
  fs::remove_all(work);
  return 0;
}
