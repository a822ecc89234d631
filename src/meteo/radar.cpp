#include "meteo/radar.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void radar_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
