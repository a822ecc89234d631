#include "input/series.hpp"

#include "run/context.hpp"

namespace torva {

void read_time_series_card(RunContext& ctx, const std::string& file_name) {
    (void)ctx;
    (void)file_name;
}

void read_elevation_series_card(RunContext& ctx, const std::string& file_name) {
    (void)ctx;
    (void)file_name;
}

void make_series_times_absolute(RunContext& ctx, double start_time) {
    for (TimeSeries& ts : ctx.series.time_series) {
        if (!ts.relative_times) continue;
        for (double& t : ts.times) t += start_time;
        ts.relative_times = false;
    }
}

}  // namespace torva
