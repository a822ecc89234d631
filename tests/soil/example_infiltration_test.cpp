// The example valley with plain Green and Ampt: the committed soil maps, the
// whole storm through the driver, and the final per-cell state checked against
// the run's totals and its summary.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "run/driver.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

// The committed project as it runs from the top of the source tree: in `dir`,
// with `examples` linked to the examples folder (the mapping table names its
// index map from there too) and the outputs written into `dir` itself.
void set_up_example(const TempDir& dir) {
    fs::create_directory_symlink(TORVA_EXAMPLES, dir.path() / "examples");
    std::string text = test::read_file(fs::path(TORVA_EXAMPLES) / "valley/valley_infiltration.prj");
    const std::string outputs = "examples/valley/out/";
    for (std::size_t at = text.find(outputs); at != std::string::npos; at = text.find(outputs))
        text.erase(at, outputs.size());
    dir.write("valley_infiltration.prj", text);
}

// The percentage printed after `label` in the summary; NaN when the line is missing.
double printed_percent(const std::string& summary, const std::string& label) {
    const std::size_t at = summary.find(label);
    double value = NAN;
    if (at == std::string::npos ||
        std::sscanf(summary.c_str() + at + label.size(), "%lf percent", &value) != 1)
        return NAN;
    return value;
}

TEST(ExampleInfiltration, ValleyStormBalancesAndTotalMatchesCellDepths) {
    TempDir dir;
    set_up_example(dir);
    RunContext ctx;
    ctx.out = std::tmpfile();
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());

    double total = 0.0;
    double cell_sum = 0.0;
    double rain = 0.0;
    double peak = 0.0;
    int soaked_cells = 0;
    const int code = run_simulation(ctx, "valley_infiltration.prj", [&](const Model& model) {
        const Soil& soil = model.soil;
        const double area = model.grid.cell_size * model.grid.cell_size;
        ASSERT_EQ(soil.cumulative_depth.size(), static_cast<std::size_t>(model.grid.num_cells) + 1);
        for (int i = 1; i <= model.grid.num_cells; ++i) {
            cell_sum += soil.cumulative_depth[i] * area;
            soaked_cells += soil.cumulative_depth[i] > 0.0;
        }
        total = model.totals.run.infiltration;
        rain = model.totals.run.precipitation;
        peak = model.outlet.peak;
        EXPECT_EQ(model.grid.num_cells, 7687);
    });
    fs::current_path(before);
    std::string console(1 << 16, '\0');
    std::rewind(ctx.out);
    console.resize(std::fread(console.data(), 1, console.size(), ctx.out));
    std::fclose(ctx.out);
    ASSERT_EQ(code, 0) << console;

    // What the phase added up step by step is what the cells hold.
    EXPECT_NEAR(total, cell_sum, 1e-12 * cell_sum);
    EXPECT_EQ(soaked_cells, 7687);
    // 25 mm/h for 45 minutes on 7687 cells of 20 m: part soaks in, part runs off.
    EXPECT_NEAR(rain, 7687 * 400.0 * 0.01875, 1e-6 * rain);
    EXPECT_GT(total, 0.5 * rain);
    EXPECT_LT(total, 0.9 * rain);
    EXPECT_GT(peak, 0.1);

    // Both balances close to the printed digits.
    const std::string summary = dir.read("infiltration_summary.txt");
    EXPECT_LT(std::fabs(printed_percent(summary, "mass conservation error:")), 5e-7) << summary;
    EXPECT_LT(std::fabs(printed_percent(summary, "Overall mass balance error =")), 5e-7);
    EXPECT_TRUE(dir.exists("infiltration.otl"));
}

}  // namespace
}  // namespace torva
