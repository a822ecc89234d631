#include "calibration/results.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void prepare_calibration_results(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
