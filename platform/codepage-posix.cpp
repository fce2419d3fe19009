// Outside Windows the unzip library's 8-bit texts are UTF-8; iconv converts them to and
// from the wide texts of the program.
#include <errno.h>
#include <iconv.h>

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace nocunzip::platform {
namespace {

// One conversion descriptor, closed when it goes out of scope.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts `in` completely. `on_bad_input` is called with the output so far whenever
  // the input holds something the target cannot take; `unit` input bytes are skipped.
  template <typename Out, typename OnBad>
  void Run(const char* in, size_t in_left, size_t unit, Out* out, OnBad on_bad_input) {
    char buffer[4096];
    while (in_left > 0) {
      char* out_ptr = buffer;
      size_t out_left = sizeof(buffer);
      size_t rc = iconv(cd_, const_cast<char**>(&in), &in_left, &out_ptr, &out_left);
      Append(buffer, out_ptr, out);
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut short at the end): replace one unit and go on.
      on_bad_input(out);
      size_t skip = in_left < unit ? in_left : unit;
      in += skip;
      in_left -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
  }

 private:
  static void Append(const char* begin, const char* end, std::string* out) {
    out->append(begin, end);
  }
  static void Append(const char* begin, const char* end, std::wstring* out) {
    out->append(reinterpret_cast<const wchar_t*>(begin),
                static_cast<size_t>(end - begin) / sizeof(wchar_t));
  }

  iconv_t cd_;
};

}  // namespace

std::string ToAnsi(std::wstring_view text) {
  std::string result;
  Converter converter("UTF-8", "WCHAR_T");
  if (!converter.ok()) return result;
  converter.Run(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t),
                sizeof(wchar_t), &result, [](std::string* out) { out->append("\xEF\xBF\xBD"); });
  return result;
}

std::wstring FromAnsi(std::string_view bytes) {
  std::wstring result;
  Converter converter("WCHAR_T", "UTF-8");
  if (!converter.ok()) return result;
  converter.Run(bytes.data(), bytes.size(), 1, &result,
                [](std::wstring* out) { out->push_back(L'\uFFFD'); });
  return result;
}

}  // namespace nocunzip::platform
