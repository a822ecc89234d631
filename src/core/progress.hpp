#pragma once
// Set-up progress lines: on the console unless the run is quiet, always in
// the summary file.

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

template <typename... Args>
void progress(const Model& model, RunContext& ctx, const char* format, Args... args) {
    if (!model.run.quiet && !model.run.super_quiet)
        ctx.print(format, args...);
    ctx.log(format, args...);
}

}  // namespace torva
