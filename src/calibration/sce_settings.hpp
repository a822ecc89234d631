#pragma once
// The settings of a Shuffled Complex Evolution search: the SCE input file, its
// defaults and the checks that mend or refuse unworkable settings.

#include <cstdio>
#include <string>
#include <vector>

#include "calibration/hydrograph_fit.hpp"

namespace torva {

struct RunContext;

// One-based arrays throughout: element 0 holds nothing.
using Point = std::vector<double>;

struct SceSettings {
    std::string project_file;
    std::string parameter_file;  // the replacement keys, one per parameter
    std::string observation_file;

    int maxn = 0;         // the largest number of evaluations
    int kstop = 0;        // shuffling loops over which the criterion must change
    double pcento = 0.0;  // the fraction by which it must change
    int ngs = 0;          // complexes
    int iseed = 0;
    int ideflt = 0;  // 0: default complex settings; 1: those of line 5
    int nopt = 0;    // parameters

    int npg = 0;     // points in a complex
    int nps = 0;     // points in a sub-complex
    int nspl = 0;    // evolution steps per complex before shuffling
    int mings = 0;   // the smallest number of complexes
    int iniflg = 0;  // 1: the initial point is the first of the population
    int iprint = 0;  // 1: the whole population after every loop

    // The lines after the parameters. With a whole-hydrograph objective the
    // observation file is the observed outlet hydrograph.
    Objective objective = Objective::hmle;
    std::string run_folder = "calibration_runs";  // each evaluation's files
    bool keep_best_only = false;                  // KEEP_RUNS BEST

    Point a;   // initial point
    Point bl;  // lower bounds
    Point bu;  // upper bounds
};

// The largest population the search keeps.
inline constexpr int kPopulationLimit = 1320;

// Reads the SCE input file through the context's line reader (so replacement
// keys are substituted when replacement is active). Prints the reason and
// returns false when the file cannot be read or holds unusable numbers.
bool read_sce_input(RunContext& ctx, const std::string& file_name, SceSettings& settings);

// The default complex settings (ideflt 0), then the checks in their order.
// Warnings go to the console and, when open, to the output file; returns
// false when the search cannot run with these settings.
bool check_sce_settings(SceSettings& settings, std::FILE* console, std::FILE* output);

}  // namespace torva
