// POSIX file names are bytes: every one but NUL is allowed ("/" never reaches a component),
// up to the 255 bytes that Linux file systems hold in one name.
#include "plan/entry_path.h"

namespace nocunzip::unzip32 {
namespace {

// The most bytes that Linux file systems take in one name (NAME_MAX).
constexpr size_t kMaxNameBytes = 255;

}  // namespace

bool IsAllowedComponent(std::string_view component, std::string* why) {
  if (component.size() > kMaxNameBytes) {
    if (why != nullptr) {
      *why = "is " + std::to_string(component.size()) + " bytes long; file names here hold " +
             std::to_string(kMaxNameBytes) + " at most";
    }
    return false;
  }
  if (component.find('\0') == std::string_view::npos) return true;
  if (why != nullptr) *why = "holds a NUL character";
  return false;
}

}  // namespace nocunzip::unzip32
