// Speed of the two ciphers: MB/s of decryption in pieces of a few sizes, and the time that
// AES takes to check a password (PBKDF2, 1000 rounds). Best of 3 runs over random data, in
// processor time of this process, so that other work on the machine does not count.
//
//   bench_cipher [megabytes]   (default 256)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "decrypt/aes_primitives.h"
#include "decrypt/cipher.h"

namespace {

using nocunzip::unzip32::AesPrimitives;
using nocunzip::unzip32::Cipher;
using Bytes = std::vector<unsigned char>;

constexpr char kPassword[] = "amberLYNXQT";

Bytes RandomBytes(size_t size, unsigned seed) {
  std::mt19937_64 random(seed);
  Bytes bytes(size);
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(random());
  return bytes;
}

// A cipher started with kPassword on a header that it accepts, or null.
std::unique_ptr<Cipher> StartedTraditional() {
  const Bytes header = RandomBytes(12, 1);
  // The header is random: exactly one check byte fits it.
  for (int check = 0; check < 256; ++check) {
    auto cipher = nocunzip::unzip32::MakeTraditionalCipher(static_cast<uint8_t>(check));
    if (cipher->Start(kPassword, header)) return cipher;
  }
  return nullptr;
}

// The salt and the password check that the password derives from it.
Bytes AesHeader(uint16_t key_bits) {
  const size_t key_size = key_bits / 8;
  Bytes header = RandomBytes(key_size / 2, 2);
  Bytes derived(2 * key_size + 2);
  auto primitives = AesPrimitives::Open();
  if (!primitives || !primitives->Pbkdf2HmacSha1(kPassword, header, 1000, derived)) return {};
  header.insert(header.end(), derived.end() - 2, derived.end());
  return header;
}

std::unique_ptr<Cipher> StartedAes(uint16_t key_bits) {
  auto cipher = nocunzip::unzip32::MakeAesCipher(key_bits);
  const Bytes header = AesHeader(key_bits);
  if (!cipher || header.empty() || !cipher->Start(kPassword, header)) return nullptr;
  return cipher;
}

// Processor seconds since `since` (std::clock counts this process's processor time).
double Seconds(std::clock_t since) {
  return static_cast<double>(std::clock() - since) / CLOCKS_PER_SEC;
}

// MB/s (10^6 bytes) of decrypting `total` bytes in pieces of `piece` bytes, best of 3. The
// pieces go round `buffer`, as an extraction reuses its read buffer.
template <typename MakeStarted>
double DecryptRate(MakeStarted make_started, Bytes& buffer, size_t total, size_t piece) {
  double best = 1e30;
  for (int run = 0; run < 3; ++run) {
    std::unique_ptr<Cipher> cipher = make_started();
    if (!cipher) return 0;
    const std::clock_t start = std::clock();
    for (size_t done = 0; done < total; done += piece) {
      const size_t at = done % buffer.size();
      cipher->Decrypt(std::span(buffer).subspan(at, std::min(piece, buffer.size() - at)));
    }
    best = std::min(best, Seconds(start));
  }
  return total / best / 1e6;
}

// Milliseconds of one Start with the right password (PBKDF2 and the key set-up).
double StartMilliseconds(uint16_t key_bits) {
  const Bytes header = AesHeader(key_bits);
  auto cipher = nocunzip::unzip32::MakeAesCipher(key_bits);
  if (!cipher || header.empty()) return 0;
  constexpr int kStarts = 50;
  const std::clock_t start = std::clock();
  for (int i = 0; i < kStarts; ++i) {
    if (!cipher->Start(kPassword, header)) return 0;
  }
  return Seconds(start) * 1000 / kStarts;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const size_t total = megabytes << 20;
  Bytes buffer = RandomBytes(1 << 20, 3);
  struct Row {
    const char* name;
    std::unique_ptr<Cipher> (*make)();
  };
  const Row rows[] = {
      {"traditional", &StartedTraditional},
      {"AES-128", [] { return StartedAes(128); }},
      {"AES-256", [] { return StartedAes(256); }},
  };
  std::printf("decryption of %zu MiB through a 1 MiB buffer, MB/s of processor time, best of 3\n",
              megabytes);
  std::printf("%-12s %12s %12s %12s\n", "cipher", "1 KiB calls", "16 KiB calls", "256 KiB calls");
  for (const Row& row : rows) {
    std::printf("%-12s", row.name);
    for (size_t piece : {size_t{1} << 10, size_t{16} << 10, size_t{256} << 10}) {
      std::printf(" %12.0f", DecryptRate(row.make, buffer, total, piece));
    }
    std::printf("\n");
  }
  std::printf(
      "AES Start (PBKDF2-HMAC-SHA1, 1000 rounds): %.2f ms with 128-bit, %.2f ms with "
      "256-bit keys\n",
      StartMilliseconds(128), StartMilliseconds(256));
  return 0;
}
