#include "groundwater/groundwater.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

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
