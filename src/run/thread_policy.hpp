#pragma once
// How the program's threads wait for work.

#include <string>
#include <vector>

namespace torva {

// Threads of the OpenMP runtime that find no work wait for the next loop,
// spinning on their core or asleep. Spinning answers at once but holds a core:
// on a machine with other busy programs it takes the time a working thread
// needs, and a run slows many times over. Sleeping costs a wake-up of some
// microseconds at every loop, a quarter of the run on an idle machine.
//
// So the program looks at the machine when it starts: when every one of the
// run's threads finds a processor that no other program is using at that
// moment, it leaves the runtime's own policy, under which waiting threads spin
// a bounded while (some milliseconds, long enough to bridge the gaps between
// the loops of a step) and then sleep; otherwise they sleep at once. What runs
// now decides, not the load average of the last minutes: that still counts
// programs that have ended (the previous run of a script of runs, a finished
// build), which would make every run but the first sleep. A user who sets
// OMP_WAIT_POLICY or GOMP_SPINCOUNT decides instead. The runtime reads these
// settings when it is loaded, before main, so the program sets the sleeping
// policy and starts itself again; the spinning choice needs no second start,
// which costs as long as loading the program's libraries (some 40 ms).

// The setting to make before starting again: its name and value, or a null
// name when nothing is to be set (the user chose, or the threads may spin). `loads` are texts of
// /proc/loadavg read a moment apart ("0.12 0.30 0.41 1/230 4567": the load averages, then the
// processes runnable at that moment, this one included, and all processes);
// another program counts as busy when it is runnable in every one of them, so
// that a process woken for an instant does not count. `processors` are the
// processors the program may use and `threads` the threads of its loops.
struct WaitSetting {
    const char* name;
    const char* value;
};
WaitSetting choose_wait_setting(bool user_chose, const std::vector<std::string>& loads,
                                int processors, int threads);

// Makes the setting and starts the program again with the same arguments
// (argv is main's, ending with a null pointer). Returns only when nothing was
// set or the new start failed; the run then goes on with the runtime's own
// policy.
void start_with_chosen_waiting(char** argv);

// The threads of the cell loops: OMP_NUM_THREADS when the user set it to a
// positive number, otherwise every processor. A NUM_THREADS card overrides
// it for the run.
int default_thread_count();

}  // namespace torva
