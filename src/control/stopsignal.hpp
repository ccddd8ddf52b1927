// The stop signal of a batch system: SIGTERM (the wall-time limit) or SIGINT
// (Ctrl-C) asks the run to end at the end of the current step, with its
// buffers written out (and a checkpoint when checkpoints are on), and a
// non-zero exit status.
#pragma once

namespace stopsignal {

// Installs the handlers of SIGTERM and SIGINT.
void install();

// Whether any process of the job has received a stop signal. Collective
// (one small all-reduce) when several processes run; called once per step.
bool agreed();

// The signal received (0 none), and the exit status that reports it (128 + signal).
int received();
int status();

// Forgets a received signal (tests).
void reset();

}  // namespace stopsignal
