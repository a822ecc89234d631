#pragma once
// Wall time spent in the costly phases of the time loop. A run measures them
// only when TORVA_PHASE_TIMES is set in the environment and then prints them
// after its run-time line, so a user can see where a long run or a slow
// calibration spends its time without a profiler.

#include <array>
#include <chrono>
#include <cstddef>

namespace torva {

enum class TimedPhase {
    precipitation,
    rainfall,
    infiltration,
    overland,
    groundwater,
    channel,
    output,
    count
};

struct PhaseTimes {
    bool enabled = false;
    std::array<double, static_cast<std::size_t>(TimedPhase::count)> seconds{};
    // Steps of the time loop, and those whose cell loops ran on one thread.
    long long steps = 0;
    long long single_thread_steps = 0;
    // Wall time of all the steps, and of the dry ones (no water on the
    // ground), counted whether or not the phase times are wanted.
    double step_seconds = 0.0;
    double dry_step_seconds = 0.0;

    double& operator[](TimedPhase phase) { return seconds[static_cast<std::size_t>(phase)]; }
};

// Runs `phase`, adding its wall time to its entry when the times are wanted.
template <class Phase>
void timed(PhaseTimes& times, TimedPhase which, Phase&& phase) {
    if (!times.enabled) {
        phase();
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    phase();
    times[which] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace torva
