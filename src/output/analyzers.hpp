#pragma once
// Watches on model arrays that test and report values at chosen moments.

#include "output/analyzers_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the analyzer file.
void set_up_analyzers(Model& model, RunContext& ctx);

// Analyzer event codes.
enum AnalyzerEvent {
    kStepFinished = 1,
    kEventBegan = 2,
    kEventEnded = 4,
    kInitFinished = 8,
    kRunFinished = 16,
    kRunFailed = 32
};

// Calls every analyzer of the list with the event code.
void notify_analyzers(Model& model, RunContext& ctx, int event);

}  // namespace torva
