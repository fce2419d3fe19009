#include <cstdio>
#include <random>

#include "disk/output_shared.h"

namespace nocunzip::unzip32 {

std::string JoinPath(const RelativePath& components) {
  std::string joined;
  for (const auto& component : components) {
    if (!joined.empty()) joined += '/';
    joined += component;
  }
  return joined;
}

std::string PathForMessages(const RelativePath& path, size_t count) {
  return JoinPath(RelativePath(path.begin(), path.begin() + std::min(count, path.size())));
}

TemporaryNames::TemporaryNames() : next_(std::random_device{}()) {}

std::string TemporaryNames::Next() {
  char name[32];
  // Steps of the golden ratio visit every 32-bit value before one comes again.
  std::snprintf(name, sizeof name, ".unzip32-%08x.tmp",
                static_cast<unsigned>(next_.fetch_add(0x9E3779B9u)));
  return name;
}

}  // namespace nocunzip::unzip32
