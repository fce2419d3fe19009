#include "app/inet_unzip.h"

#include <new>

#include "app/job.h"
#include "platform/codepage.h"
#include "platform/command_line.h"

namespace nocunzip {
namespace {

constexpr int kZeitmesserIntervalMs = 500;
constexpr int kExitUncaughtError = 4;

// Lengths in twips.
platform::WindowLayout InetUnzipLayout() {
  platform::WindowLayout layout;
  layout.caption = L"Daten werden dekomprimiert...";
  layout.client_width = 3630;
  layout.client_height = 705;
  layout.labels[0] = {L"Ein Datenarchiv wird entpackt!", 120, 120, 3375, 255};
  layout.labels[1] = {L"Bitte warten...", 120, 360, 3375, 255};
  return layout;
}

}  // namespace

InetUnzip::InetUnzip() : window_(InetUnzipLayout()) {
  window_.StartTimer(kZeitmesserIntervalMs, [this] { Zeitmesser_Timer(); });
}

void InetUnzip::RunUntilUnloaded() { window_.RunUntilUnloaded(); }

void InetUnzip::Zeitmesser_Timer() {
  // Off first, so that no box the job shows lets the timer start the job again.
  window_.StopTimer();
  // Nothing may unwind through the window's event delivery: the error is kept and reported
  // once the window is gone.
  try {
    exit_status_ = static_cast<int>(RunUnpackJob(platform::CommandLineArguments()));
  } catch (const ProgramError& error) {
    uncaught_error_ = error;
    exit_status_ = kExitUncaughtError;
  } catch (const std::bad_alloc&) {
    uncaught_error_ = ProgramError(kErrOutOfMemory, L"NocUnzip", L"Out of memory");
    exit_status_ = kExitUncaughtError;
  } catch (const std::exception& error) {
    uncaught_error_ = ProgramError(kErrInternal, L"NocUnzip",
                                   L"Internal error: " + platform::FromAnsi(error.what()));
    exit_status_ = kExitUncaughtError;
  }
  window_.Unload();
}

}  // namespace nocunzip
