#include "plan/seen_names.h"

#include <cstdint>

namespace nocunzip::unzip32 {
namespace {

constexpr int kHashes = 4;

// Two independent 64-bit FNV-1a hashes; the filter's positions are combinations of them.
void Hash(std::string_view name, uint64_t* first, uint64_t* second) {
  uint64_t a = 0xcbf29ce484222325u;
  uint64_t b = 0x84222325cbf29ce4u;
  for (const char c : name) {
    a = (a ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    b = (b ^ static_cast<unsigned char>(c)) * 0x00000100000001b3u + 0x9e3779b97f4a7c15u;
  }
  *first = a;
  *second = b | 1;
}

}  // namespace

void SeenNames::Add(std::string_view name) {
  uint64_t a, b;
  Hash(name, &a, &b);
  for (int i = 0; i < kHashes; ++i) bits_->set((a + static_cast<uint64_t>(i) * b) % kBits);
}

bool SeenNames::MayContain(std::string_view name) const {
  uint64_t a, b;
  Hash(name, &a, &b);
  for (int i = 0; i < kHashes; ++i) {
    if (!bits_->test((a + static_cast<uint64_t>(i) * b) % kBits)) return false;
  }
  return true;
}

}  // namespace nocunzip::unzip32
