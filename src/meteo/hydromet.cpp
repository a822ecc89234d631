#include "meteo/hydromet.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

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
