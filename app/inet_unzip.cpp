#include "app/inet_unzip.h"

#include "app/job.h"
#include "platform/command_line.h"

namespace nocunzip {
namespace {

constexpr int kZeitmesserIntervalMs = 500;

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
  // The job has no error handler: an error ends the window's event loop, and start-up
  // reports it once the window is gone.
  exit_status_ = static_cast<int>(RunUnpackJob(platform::CommandLineArguments()));
  window_.Unload();
}

}  // namespace nocunzip
