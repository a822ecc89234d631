#include "meteo/hydromet.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void prepare_hydromet(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void hydromet_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
