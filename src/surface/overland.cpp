#include "surface/overland.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void compute_bed_slopes(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void overland_flow_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
