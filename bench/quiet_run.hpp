#pragma once
// One run of a project as a user starts it, its console lines sent to
// /dev/null, for the benchmarks that time whole runs.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "run/driver.hpp"

namespace torva::bench {

// Runs `project` with `ctx`; `inspect`, when given, sees the Model as the run
// left it. A run that fails, or whose console cannot be opened, marks the
// benchmark failed with `what` and returns false.
inline bool quiet_run(benchmark::State& state, RunContext& ctx, const std::string& project,
                      const char* what,
                      const std::function<void(const Model&)>& inspect = nullptr) {
    ctx.out = std::fopen("/dev/null", "w");
    if (!ctx.out) {
        state.SkipWithError("/dev/null could not be opened");
        return false;
    }
    const int code = inspect ? run_simulation(ctx, project, inspect) : run_simulation(ctx, project);
    std::fclose(ctx.out);
    ctx.out = stdout;
    if (code != 0) {
        state.SkipWithError(what);
        return false;
    }
    return true;
}

}  // namespace torva::bench
