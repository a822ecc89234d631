#include "grid/grid.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void read_grid_maps(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void allocate_grid_arrays(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void build_connectivity(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void compute_watershed_area(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
