// The stop signal of a batch system: SIGTERM (the wall-time limit) or SIGINT
// (Ctrl-C) asks the run to end at the end of the current step, with its
// buffers written out (and a checkpoint when checkpoints are on), and a
// non-zero exit status.
#pragma once

namespace stopsignal {

// Installs the handlers of SIGTERM and SIGINT.
void install();

// Whether the job stops after this step: a signal received by this process
// (one process), or by any process before the exchange of this step (the
// exchange carries it). Called at the end of every step.
bool agreed();

// The signal received (0 none), and the exit status that reports it (128 + signal).
int received();
int status();

// Forgets a received signal (tests).
void reset();

}  // namespace stopsignal
