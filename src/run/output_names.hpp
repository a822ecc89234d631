#pragma once
// Output names checked before any output is opened: no output may be the same
// file as an input of the run (the project file, every file a card names, the
// index maps of the mapping tables) or as another output, so that a slip of
// the pen never truncates a map or a hydrograph.

#include <string_view>

namespace torva {

struct Model;
struct RunContext;

// Prints one line per clash, naming both cards, and raises the error whose
// message has been printed; false then.
// A missing output folder is refused the same way, before anything is opened.
bool outputs_spare_inputs(const Model& model, RunContext& ctx, std::string_view project_file);

// After a run refused at set-up: names the input files that are not found
// from the working folder (and that folder), and those with Windows line
// ends, which the readers do not take.
void explain_refusal(const Model& model, RunContext& ctx, std::string_view project_file);

}  // namespace torva
