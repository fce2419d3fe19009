// NocUnzip: shows the window InetUnzip, whose timer runs the one unpack job, and reports an
// error that escaped the window or the job as the uncaught error it is.
#include <string>

#include "app/inet_unzip.h"
#include "app/setup.h"
#include "platform/error.h"
#include "platform/message_box.h"

namespace nocunzip {
namespace {

void ReportUncaughtError(const ProgramError& error) {
  platform::ShowMessageBox(
      L"Laufzeitfehler '" + std::to_wstring(error.number()) + L"':\n\n" + error.description(),
      kApplicationTitle, platform::box::kOkOnly);
}

}  // namespace
}  // namespace nocunzip

int main() {
  try {
    // Created inside the handler, so that a window that the system refuses is reported too.
    nocunzip::InetUnzip form;
    form.RunUntilUnloaded();
    return form.exit_status();
  } catch (...) {
    // The window is gone by now; the report stands alone.
    nocunzip::ReportUncaughtError(nocunzip::CaughtError(L"NocUnzip"));
    return nocunzip::kExitUncaughtError;
  }
}
