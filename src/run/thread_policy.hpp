#pragma once
// How the program's threads wait for work.

namespace torva {

// Threads of the OpenMP runtime that wait for work spin on their core for a
// while before they sleep. On a machine with other busy programs a spinning
// thread holds a core that a working thread needs, and a run slows many times
// over. Unless the user has chosen a wait policy (OMP_WAIT_POLICY or
// GOMP_SPINCOUNT), the program starts itself again with
// OMP_WAIT_POLICY=passive: the runtime reads its settings when it is loaded,
// before main, so setting them later has no effect. Returns only when the
// program was not started again (a policy was chosen, or the new start
// failed); argv is main's, ending with a null pointer.
void restart_with_passive_waiting(char** argv);

}  // namespace torva
