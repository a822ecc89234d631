#include "output/analyzers.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void set_up_analyzers(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void notify_analyzers(Model& model, RunContext& ctx, int event) {
    (void)model;
    (void)ctx;
    (void)event;
}

}  // namespace torva
