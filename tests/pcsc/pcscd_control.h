#pragma once

#include <sys/types.h>

// Stopping and starting the machine's pcscd, for the tests of a service restart. The pcscd that
// scripts/pcscd.sh started keeps its PID in $OSTREL_PCSCD_PIDFILE; a test stops that one and
// writes there the PID of the one it starts, so that the script stops the right process.
namespace pcscd_control {

// The PID of the pcscd named by the PID file, or -1 when there is none.
pid_t RunningPcscd();

// SIGTERM, then waits until the process is gone. False when it would not go.
bool StopPcscd(pid_t pid);

// Starts "pcscd -f" in a session of its own and records its PID; waits until the vpcd reader
// listens. -1 when it did not come up.
pid_t StartPcscd();

} // namespace pcscd_control
