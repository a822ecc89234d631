#pragma once
// Progress lines: those of the set-up, and when the time loop's next one is
// due.

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

// Set-up progress lines: on the console unless the run is quiet, always in
// the summary file.
template <typename... Args>
void progress(const Model& model, RunContext& ctx, const char* format, Args... args) {
    if (!model.run.quiet && !model.run.super_quiet)
        ctx.print(format, args...);
    ctx.log(format, args...);
}

// The progress line follows the hydrograph interval from the start of the
// run: moves the model's next print time to the first interval boundary not
// behind the clock (to the clock itself on the first call, or with no interval).
void advance_print_time(Model& model);

}  // namespace torva
