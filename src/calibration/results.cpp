#include "calibration/results.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void prepare_calibration_results(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
