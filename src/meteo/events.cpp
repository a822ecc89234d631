#include "meteo/events.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void event_start_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void event_end_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
