#include "surface/roughness.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void read_surface_parameters(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
