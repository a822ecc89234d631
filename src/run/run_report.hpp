#pragma once

#include "core/context.hpp"

namespace torva {

// What a run reports about itself when it ends: the wall time of the time
// loop by phase (on request), then the run time, the files written and the
// cards passed over.

// The time loop's wall time split by phase, the steps run on one thread and
// the dry steps' share.
void write_phase_times(RunContext& ctx, double loop_seconds);

// Appends the run time to out_time.dat in the working folder, lists the files
// the run wrote (a map series as one line with its count) and prints the run
// time; a failed write of out_time.dat fails the run.
void write_run_time(RunContext& ctx, double seconds);

}  // namespace torva
