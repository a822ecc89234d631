#include "core/progress.hpp"

#include <cmath>

#include "core/clock.hpp"

namespace torva {

void advance_print_time(Model& model) {
    const double now = model.clock.current_time;
    double interval = model.run.hydrograph_interval / 1440.0;
    if (interval <= 0.0)
        interval = model.run.time_step_days;
    if (model.next_print_time == 0.0 || interval <= 0.0) {
        model.next_print_time = now;
        return;
    }
    if (now > model.next_print_time + kTimeTolerance) {
        const double behind = (now - model.next_print_time) / interval;
        model.next_print_time += std::ceil(behind - 1e-9) * interval;
    }
}

}  // namespace torva
