#include "calibration/synthetic_watershed.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "calibration/calibration_state.hpp"
#include "calibration/sce_mode.hpp"
#include "run/modes.hpp"
#include "support/grids.hpp"

namespace torva::test {

namespace fs = std::filesystem;

namespace {

std::string uniform_map(const std::string& value) {
    return test::uniform_map(5, 5, 10.0, value);
}

// What the project made with the true values.
CalibrationResults simulate_truth(const TempDir& dir, bool keep_hydrograph) {
    std::FILE* console = std::tmpfile();
    const SimulationSetup setup = calibration_setup(1, console, console);
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    CalibrationResults truth;
    truth.keep_hydrograph = keep_hydrograph;
    EXPECT_EQ(simulate_point(setup, "p.prj", "params.txt", {0.0, kTrueRoughness, kTrueConductivity},
                             9999, &truth),
              0);
    fs::current_path(before);
    std::fclose(console);
    return truth;
}

}  // namespace

// A 5 x 5 plane of 10 m cells that falls 0.1 m per row to the outlet in the
// middle of its southern edge; the roughness and conductivity are tags.
void write_synthetic_watershed(const TempDir& dir) {
    dir.write("p.prj",
              "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 5\nCOLS 5\n"
              "GRIDSIZE 10\nOUTROW 5\nOUTCOL 3\nOUTSLOPE 0.01\nMANNING_N [N]\nTIMESTEP 30\n"
              "TOT_TIME 40\nHYD_FREQ 5\nMAP_FREQ 60\nSTART_DATE 2020 6 1\nSTART_TIME 10 0\n"
              "PRECIP_UNIF\nRAIN_INTENSITY 40\nRAIN_DURATION 20\nGREEN_AMPT\n"
              "CONDUCTIVITY conductivity.map\nCAPILLARY capillary.map\nPOROSITY porosity.map\n"
              "MOISTURE moisture.map\nSUPER_QUIET\nOUTLET_HYDRO out.otl\n");
    dir.write("mask.msk", uniform_map("1"));
    dir.write("elevation.ele", map_of(5, 5, 10.0, [](int r, int c) {
                  return 10.5 - 0.1 * (r - 1) + 0.02 * std::abs(c - 3);
              }));
    dir.write("conductivity.map", uniform_map("[K]"));
    dir.write("capillary.map", uniform_map("5.0"));
    dir.write("porosity.map", uniform_map("0.45"));
    dir.write("moisture.map", uniform_map("0.2"));
    dir.write("params.txt", "2\n[N] \"%12.10lf\"\n[K] \"%12.10lf\"\n");
}

// Writes what the true values made as the observations of its one event.
void observe_truth(const TempDir& dir) {
    const CalibrationResults truth = simulate_truth(dir, false);
    ASSERT_GT(truth.peak(1), 0.0);
    char line[200];
    std::snprintf(line, sizeof line, "1\n%.10f 1 %.10f 1\n", truth.peak(1), truth.volume(1));
    dir.write("obs.txt", line);
}

void observe_truth_hydrograph(const TempDir& dir, const std::string& name) {
    const CalibrationResults truth = simulate_truth(dir, true);
    ASSERT_GT(truth.hydrograph_minutes.size(), 10u);
    std::string text = "# minutes  m3/s\n";
    char line[100];
    for (std::size_t k = 0; k < truth.hydrograph_minutes.size(); ++k) {
        std::snprintf(line, sizeof line, "%.6f %.12f\n", truth.hydrograph_minutes[k],
                      truth.hydrograph_discharge[k]);
        text += line;
    }
    dir.write(name, text);
}

bool calibrate_in(const TempDir& dir, int workers) {
    std::FILE* console = std::fopen((dir.path() / "console.txt").c_str(), "w");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    // The workers stand for the machine's processors, which a user's
    // OMP_NUM_THREADS overrides: the test's count must hold whatever the
    // shell that runs the tests exports.
    const char* exported = std::getenv("OMP_NUM_THREADS");
    const std::string saved = exported ? exported : "";
    unsetenv("OMP_NUM_THREADS");
    const bool ok = run_sce_calibration("sce.in", calibration_setup(workers, console, console));
    if (exported)
        setenv("OMP_NUM_THREADS", saved.c_str(), 1);
    fs::current_path(before);
    std::fclose(console);
    return ok;
}

double best_value(const std::string& best_out, int line) {
    std::size_t at = 0;
    for (int i = 0; i < line; ++i) at = best_out.find('\n', at) + 1;
    return std::stod(best_out.substr(at));
}

}  // namespace torva::test
