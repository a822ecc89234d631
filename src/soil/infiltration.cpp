#include "soil/infiltration.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void read_soil_parameters(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void set_up_soil_layers(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void infiltration_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void soil_moisture_between_events_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
