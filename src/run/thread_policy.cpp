#include "run/thread_policy.hpp"

#include <unistd.h>

#include <cstdlib>

namespace torva {

void restart_with_passive_waiting(char** argv) {
    if (std::getenv("OMP_WAIT_POLICY") || std::getenv("GOMP_SPINCOUNT"))
        return;
    if (setenv("OMP_WAIT_POLICY", "passive", 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // The new start failed: run on with the runtime's own policy.
}

}  // namespace torva
