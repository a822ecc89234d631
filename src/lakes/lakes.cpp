#include "lakes/lakes.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void set_up_lakes(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void overland_lakes_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
