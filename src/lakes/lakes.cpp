#include "lakes/lakes.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

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
