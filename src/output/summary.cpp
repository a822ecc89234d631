#include "output/summary.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void write_run_summary(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
