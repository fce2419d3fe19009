// InetUnzip, the program's one window: says that a data archive is being unpacked and runs
// the unpack job once from its timer Zeitmesser, 500 ms after it was shown.
#pragma once

#include "platform/window.h"

namespace nocunzip {

// Exit statuses beside the job's outcomes (JobOutcome, 0 to 3).
inline constexpr int kExitUncaughtError = 4;    // an error escaped the job, and was reported
inline constexpr int kExitClosedBeforeJob = 5;  // the window was closed before its timer fired

class InetUnzip {
 public:
  // Shows the window centred and starts Zeitmesser. Raises a ProgramError when the system
  // refuses the window.
  InetUnzip();

  // Delivers the window's events until the job has unloaded it, or the user has closed it.
  // An error that escapes the job is raised here.
  void RunUntilUnloaded();

  // The job's outcome as exit status, or kExitClosedBeforeJob when the job never ran.
  int exit_status() const { return exit_status_; }

 private:
  void Zeitmesser_Timer();

  platform::Window window_;
  int exit_status_ = kExitClosedBeforeJob;
};

}  // namespace nocunzip
