// The state of the whole process: starting afresh and ending after a stop.
#pragma once

namespace process {

// Restores every module variable to its load-time value, frees all arrays,
// forgets what the deck has given and closes any open files. A process runs
// one model; tests call this between cases to start from a fresh one.
void reset();

// Ends the process after a stop: writes out what the result files still
// hold, flushes standard output and exits with a non-zero status, aborting
// the MPI job when more than one process runs.
[[noreturn]] void terminate(int status);

// Ends the job after a stop signal, once the loop has written out its
// files: closes them and aborts the job with `status`, the only way the
// launcher passes a non-zero status on after it was signalled itself.
[[noreturn]] void endonsignal(int status);

// Warns, once per machine, when more processes run on a machine than it has
// cores: MPICH polls while a process waits for a message, so a process
// without a core of its own slows every step of the whole job.
void warnoversubscribed();

}  // namespace process
