#pragma once
// The Shuffled Complex Evolution global search (SCE-UA): a population of
// points in the parameter box, divided into complexes that evolve side by
// side by competitive complex evolution and are shuffled after every loop.

#include <cstdio>
#include <mutex>
#include <string>

#include "calibration/evaluator.hpp"
#include "calibration/sce_settings.hpp"

namespace torva {

// The files and the console a search writes to. The log opens on first use.
struct SceStreams {
    std::FILE* console = stdout;
    std::FILE* output = nullptr;  // sce_output.dat
    std::string log_name = "0000_log_file.txt";
    bool log_failed = false;  // set when the log could not be written in full
    bool progress = true;     // one progress line per loop on the console
};

struct SceOutcome {
    int evaluations = 0;
    Point best;  // one-based
    double best_criterion = 0.0;
};

// Runs the search and returns the evaluation count, or -1 when the limit of
// evaluations is smaller than the population. The search is reproducible: for
// a given seed the points evaluated, their order within each complex, the
// count and every line of the output file are the same whatever the number of
// workers of the evaluator. Random numbers are drawn in this order: the
// initial population from the search's generator, point by point (each
// coordinate in parameter order, a point out of the box redrawn whole); then,
// at the start of every loop, one seed per complex from the search's
// generator, complex by complex; each complex draws its sub-complexes and its
// random points from its own generator started from its seed.
int run_sce_search(SceSettings& settings, Evaluator& evaluator, SceStreams& streams,
                   SceOutcome& outcome);

}  // namespace torva
