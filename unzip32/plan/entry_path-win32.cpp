// Windows reads some names as something else than the plain file names they look like:
// device names (CON, NUL, COM1, with any extension), alternate data streams after ":",
// and names whose trailing dots and blanks it drops. Reserved characters and control
// characters are not allowed at all. Such components are refused, not changed: the file
// would otherwise land under another name than the entry's. A name longer than 255 UTF-16
// units does not fit at all.
#include "plan/entry_path.h"
#include "read/entry_name.h"

namespace nocunzip::unzip32 {
namespace {

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// COM and LPT take a digit, or one of the superscript digits ¹ ² ³ (in UTF-8).
bool IsNumberedDevice(const std::string& stem) {
  if (stem.rfind("COM", 0) != 0 && stem.rfind("LPT", 0) != 0) return false;
  const std::string_view number = std::string_view(stem).substr(3);
  if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Whether the part before the first dot, blanks at its end ignored, names a device.
bool IsDeviceName(std::string_view component) {
  std::string_view stem = component.substr(0, component.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string upper = Upper(stem);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* device : kDevices) {
    if (upper == device) return true;
  }
  return IsNumberedDevice(upper);
}

bool Refuse(std::string* why, const char* reason) {
  if (why != nullptr) *why = reason;
  return false;
}

// The UTF-16 units of a UTF-8 text: two for each code point past U+FFFF (four bytes in
// UTF-8), one for every other.
size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // a first byte
    if (byte >= 0xF0) ++units;           // of a four-byte sequence
  }
  return units;
}

// The most UTF-16 units that NTFS and the other Windows file systems take in one name.
constexpr size_t kMaxNameUnits = 255;

}  // namespace

bool IsAllowedComponent(std::string_view component, std::string* why) {
  if (component.empty() || component == "." || component == "..")
    return Refuse(why, "not the name of a file");
  for (char c : component) {
    if (static_cast<unsigned char>(c) < 32) return Refuse(why, "holds a control character");
    if (c == ':') return Refuse(why, "holds \":\", which Windows reads as a data stream");
    if (std::string_view("<>\"/\\|?*").find(c) != std::string_view::npos)
      return Refuse(why, "holds one of the characters < > \" / \\ | ? * that Windows reserves");
  }
  if (component.back() == '.' || component.back() == ' ')
    return Refuse(why, "ends with a dot or blank, which Windows drops");
  if (IsDeviceName(component)) return Refuse(why, "a device name on Windows");
  if (!IsValidUtf8(component)) return Refuse(why, "not valid UTF-8");
  if (Utf16Length(component) > kMaxNameUnits) {
    return Refuse(why, "longer than the 255 characters that Windows holds in one file name");
  }
  return true;
}

}  // namespace nocunzip::unzip32
