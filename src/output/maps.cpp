#include "output/maps.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void open_map_outputs(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void map_output_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
