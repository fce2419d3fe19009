// InetUnzip, the program's one window: says that a data archive is being unpacked and runs
// the unpack job once from its timer Zeitmesser, 500 ms after it was shown.
#pragma once

#include <optional>

#include "platform/error.h"
#include "platform/window.h"

namespace nocunzip {

class InetUnzip {
 public:
  // Shows the window centred and starts Zeitmesser.
  InetUnzip();

  // Delivers the window's events until the job has unloaded it.
  void RunUntilUnloaded();

  // The job's outcome as exit status (4 when an error escaped the job).
  int exit_status() const { return exit_status_; }
  // The error that escaped the job, if one did.
  const std::optional<ProgramError>& uncaught_error() const { return uncaught_error_; }

 private:
  void Zeitmesser_Timer();

  platform::Window window_;
  int exit_status_ = 4;
  std::optional<ProgramError> uncaught_error_;
};

}  // namespace nocunzip
