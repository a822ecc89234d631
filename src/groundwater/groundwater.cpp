#include "groundwater/groundwater.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void read_groundwater_maps(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void groundwater_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
