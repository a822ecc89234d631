// Analyzers run end to end on the small 3 x 3 watershed drained by its
// two-link network (link 1 of 2 nodes into link 2 of 3, the outlet link):
// their reports on the console and in their files, the moments at which each
// trigger fires, the time stamp, and the analyzer files that are refused.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "channel/network_files.hpp"
#include "output/analyzers.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::TempDir;

const std::string kNetworkCards =
    "CHANNEL_INPUT chan.txt\nSTREAM_CELL chan.gst\nCHAN_EXPLIC\nANALYZERS a.anl\nQUIET\n";

// The small project with the network and the analyzer file, its cards edited
// as edited_project edits them.
test::ProgramRun run_analyzers(const TempDir& dir, const std::string& analyzers,
                               const std::string& edits = "",
                               const std::string& network = test::kSmallNetwork,
                               const std::string& grid_stream = test::kSmallGridStream) {
    test::write_small_project(dir);
    dir.write("p.prj", test::edited_project(kNetworkCards + edits));
    dir.write("chan.txt", network);
    dir.write("chan.gst", grid_stream);
    dir.write("a.anl", analyzers);
    return test::run_program_in(dir.path(), {"p.prj"});
}

// The console from the set-up line of the analyzers to the end of the run.
std::string from_set_up(const std::string& console) {
    const std::string text = test::normalise(console);
    const std::size_t at = text.find("Set up ");
    return at == std::string::npos ? text : text.substr(at);
}

}  // namespace
}  // namespace torva
