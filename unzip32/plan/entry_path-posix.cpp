// POSIX file names are bytes: every one but NUL is allowed ("/" never reaches a component).
#include "plan/entry_path.h"

namespace nocunzip::unzip32 {

bool IsAllowedComponent(std::string_view component, std::string* why) {
  if (component.find('\0') == std::string_view::npos) return true;
  if (why != nullptr) *why = "holds a NUL character";
  return false;
}

}  // namespace nocunzip::unzip32
