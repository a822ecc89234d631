#include "meteo/radar.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void radar_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
