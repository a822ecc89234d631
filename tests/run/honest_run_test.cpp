// Runs that must not report success for what they did not do: cards whose
// process this version does not simulate. Each case runs the whole program on the small project
// with extra cards and checks the message, the exit status and that no output was opened.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::normalise;
using test::run_program_in;
using test::TempDir;

struct CardCase {
    const char* extra_cards;
    const char* message;  // expected in the console output
    int status;
};

const CardCase kUnavailableCards[] = {
    {"CHAN_PREISS\nGW_SIMULATION\nGW_UNIF_POROSITY 0.3\nGW_UNIF_HYCOND 1\nANALYZERS a\n",
     "Error: the project file p.prj asks for processes that are not available in this version "
     "of TORVA:\n"
     "  CHAN_PREISS            channel routing\n"
     "  GW_SIMULATION          groundwater\n"
     "  GW_UNIF_POROSITY       groundwater\n"
     "  GW_UNIF_HYCOND         groundwater\n"
     "  ANALYZERS              analyzers\n"
     "Nothing has been simulated. Remove these cards from the project file to run without these "
     "processes.\n",
     1},
    {"LONG_TERM\nET_CALC_DEARDORFF\nINF_REDIST\nALBEDO a\n",
     "  LONG_TERM              long-term weather and evapotranspiration\n"
     "  ALBEDO                 long-term weather and evapotranspiration\n"
     "  ET_CALC_DEARDORFF      long-term weather and evapotranspiration\n",
     1},
    {"INF_RICHARDS\n", "  INF_RICHARDS           Richards equation infiltration\n", 1},
    {"OVERLAND_LAKE_MAP lakes.map\n", "  OVERLAND_LAKE_MAP      overland lakes\n", 1},
    {"SOIL_ERODABILITY k.map\n", "  SOIL_ERODABILITY       sediment transport\n", 1},
    {"NUTRIENTS\n", "  NUTRIENTS              contaminants and nutrients\n", 1},
    {"STORM_SEWER s.txt\n", "  STORM_SEWER            pipe network\n", 1},
    {"SACRAMENTO s.txt\n", "  SACRAMENTO             Sacramento soil moisture accounting\n", 1},
    {"TANVIK\nMORREL m.dat\n", "  TANVIK                 host coupling (TANVIK, MORREL, Q9)\n", 1},
    {"XWINDOWS\n",
     "Warning: card XWINDOWS only concerns a host's display (X-window plotting), which this "
     "version does not provide; it changes no simulated number and is ignored.\n",
     0},
};

TEST(UnavailableProcesses, CardsStopTheRunBeforeAnyOutputIsOpened) {
    for (const CardCase& c : kUnavailableCards) {
        TempDir dir;
        test::write_small_project(dir, std::string("SUMMARY summary.txt\n") + c.extra_cards);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_NE(normalise(run.out).find(c.message), std::string::npos)
            << c.extra_cards << run.out;
        EXPECT_EQ(run.status, c.status) << c.extra_cards;
        const bool refused = c.status != 0;
        EXPECT_EQ(dir.exists("summary.txt"), !refused) << c.extra_cards;
        EXPECT_EQ(dir.exists("maskmap"), !refused) << c.extra_cards;
    }
}

}  // namespace
}  // namespace torva
