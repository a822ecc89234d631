// The time series and elevation series readers, then every lookup on what was
// read. The input is the series file; the tag [A] is declared, so lines with
// replacement values are read as well.

#include <cmath>
#include <vector>

#include "core/context.hpp"
#include "fuzz_support.hpp"
#include "input/replace.hpp"
#include "input/series.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace torva;
    fuzz::enter_scratch_folder();
    fuzz::write_file("series.txt", std::string(reinterpret_cast<const char*>(data), size));

    RunContext ctx;
    fuzz::quiet_with_tag(ctx, 3);

    read_time_series_card(ctx, "series.txt");
    read_elevation_series_card(ctx, "series.txt");

    for (const ElevationSeries& es : ctx.series.elevation_series)
        for (double x : es.elevations) {
            for (double at : {x, x + 0.5, x - 0.5, std::nan("")}) {
                elevation_series_value(ctx, &es, at);
                elevation_series_step_value(ctx, &es, at);
            }
        }
    make_series_times_absolute(ctx, 2451545.0);
    TimeSeriesIndexTable table;
    std::vector<double> cell_index{0.0};
    for (std::size_t k = 0; k < ctx.series.time_series.size(); ++k) {
        const TimeSeries& ts = ctx.series.time_series[k];
        int hint = static_cast<int>(k) - 1;
        for (double t : ts.times) {
            for (double at : {t, t + 1e-3, t - 1e-3}) {
                const double forward = time_series_value(ctx, &ts, at, hint);
                int fresh = 0;
                // The remembered interval may never change a value.
                if (!std::isnan(forward) && forward != time_series_value(ctx, &ts, at, fresh))
                    std::abort();
            }
        }
        table.push_back({static_cast<int>(k) + 1, static_cast<int>(k)});
        cell_index.push_back(static_cast<double>(k + 1));
    }
    cell_index.push_back(-1.0);  // an id no table holds
    const int cells = static_cast<int>(cell_index.size()) - 1;
    std::vector<double> values(cell_index.size());
    std::vector<int> hints(cell_index.size());
    time_series_values_by_index(ctx, table, cell_index, cells, 2451546.0, values, hints);
    return 0;
}
