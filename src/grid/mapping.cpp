#include "grid/mapping.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void read_index_maps(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
