// NocUnzip: shows the window InetUnzip, whose timer runs the one unpack job, and reports an
// error that escaped the job as the uncaught error it is.
#include <string>

#include "app/inet_unzip.h"
#include "app/setup.h"
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
  nocunzip::InetUnzip form;
  form.RunUntilUnloaded();
  if (form.uncaught_error()) nocunzip::ReportUncaughtError(*form.uncaught_error());
  return form.exit_status();
}
