#pragma once
// A small watershed with its Model state and captured console, stepped through
// the rain phases in the driver's order, for the precipitation and surface
// parameter tests.

#include <memory>
#include <string>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "meteo/events.hpp"
#include "meteo/precipitation.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"

namespace torva::test {

// A rectangular watershed: every position of the rows x cols grid is a cell,
// numbered row by row from the north-west. The north-west corner is at
// (west, north).
inline void make_grid(Grid& grid, int rows, int cols, double cell_size, double west = 0.0,
                      double north = 0.0) {
    build_grid(grid, rows, cols, cell_size, [](int, int) { return 0.0; });
    grid.west = west;
    grid.north = north;
    grid.east = west + cols * cell_size;
    grid.south = north - rows * cell_size;
}

class RainSetup {
  public:
    RainSetup(int rows, int cols, double cell_size, double time_step, double west = 0.0,
              double north = 0.0)
        : model(std::make_unique<Model>()) {
        make_grid(model->grid, rows, cols, cell_size, west, north);
        model->run.time_step = time_step;
        model->run.time_step_days = time_step / 86400.0;
        model->run.total_time = 24 * 60;
        model->overland.depth.assign(model->grid.num_cells + 1, 0.0);
        card(Card::MANNING_N).real[0] = 0.03;
    }
    CardValue& card(Card c) {
        model->project[c].given = true;
        return model->project[c];
    }

    // Rain from the gauge file with this text.
    void use_file(const std::string& text) {
        card(Card::PRECIP_FILE).text = dir.write("rain.gag", text).string();
        model->project.precipitation = PrecipitationKind::gauges;
    }
    void use_uniform(double intensity, int minutes) {
        card(Card::PRECIP_UNIF);
        card(Card::RAIN_INTENSITY).real[0] = intensity;
        card(Card::RAIN_DURATION).integer[0] = minutes;
        CardValue& date = card(Card::START_DATE);
        date.integer = {2004, 7, 1};
        card(Card::START_TIME).integer = {10, 0};
        model->project.precipitation = PrecipitationKind::uniform;
    }

    // Initialisation steps 15 and 20.
    void prepare() {
        prepare_precipitation(*model, ctx);
        if (!ctx.error.pending())
            check_precipitation_settings(*model, ctx);
    }

    // One pass of the time loop up to the rainfall application, with the
    // clock advanced as the driver does. False when a phase raised an error.
    bool step() {
        ModelClock& c = model->clock;
        if (c.step_counter > 0) {
            ++c.step_index;
            c.current_time = c.start_time + c.step_index * model->run.time_step_days;
            c.elapsed_minutes = c.step_index * model->run.time_step / 60.0;
        }
        ++c.step_counter;
        c.calendar = julian_to_calendar(c.current_time);
        precipitation_phase(*model, ctx);
        if (ctx.error.pending())
            return false;
        event_start_phase(*model, ctx);
        if (ctx.error.pending())
            return false;
        apply_rainfall_phase(*model, ctx);
        return !ctx.error.pending();
    }

    double rate(int cell) const { return model->precip.rain_rate[cell]; }

    std::string console() { return capture.text(); }

    TempDir dir;
    RunContext ctx;
    Console capture{ctx};
    std::unique_ptr<Model> model;
};

}  // namespace torva::test
