// Project file cards: matching, arguments, defaults, actions, the cross-card
// rules and bad input.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "input/project.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::run_program_in;
using test::TempDir;

// Cards read one line at a time, with the console captured.
struct CardReader {
    RunContext ctx;
    test::Console capture{ctx};
    ProjectSettings settings;
    CardReader() { set_project_defaults(settings); }
    bool read(const std::string& line) { return perform_card_line(settings, ctx, line); }
    std::string console() { return capture.text(); }
};

TEST(ProjectCards, WordsMatchWithoutRegardToCaseButExactly) {
    CardReader r;
    r.read("timestep 30");
    EXPECT_DOUBLE_EQ(r.settings.real(Card::TIMESTEP), 30.0);
    r.read("TimeStep\t45.5");
    EXPECT_DOUBLE_EQ(r.settings.real(Card::TIMESTEP), 45.5);
    r.read("TIMESTEPS 10");
    r.read("TIMESTE 10");
    EXPECT_DOUBLE_EQ(r.settings.real(Card::TIMESTEP), 45.5);
    EXPECT_EQ(r.console(),
              "Warning: unknown card found in the project file: timesteps\n"
              "  (ignored; did you mean TIMESTEP?)\n"
              "Warning: unknown card found in the project file: timeste\n"
              "  (ignored; did you mean TIMESTEP?)\n");
}

TEST(ProjectCards, CommentsEmptyLinesAndHostWordsAreIgnoredSilently) {
    CardReader r;
    for (const char* line :
         {"# a comment", "#TIMESTEP 5", "", "   \t ", "ORBAL", "metric", "Simulation_Input x"})
        EXPECT_TRUE(r.read(line));
    EXPECT_EQ(r.console(), "");
    EXPECT_FALSE(r.settings.given(Card::TIMESTEP));
}

TEST(ProjectCards, SharedWordsReachOneSettingAndTheLastOfAGroupWins) {
    CardReader r;
    r.read("EMBANKMENT dikes.map");
    EXPECT_EQ(r.settings.text(Card::DIKE_MAP), "dikes.map");
    r.read("GW_FLUX_BOUNDTABLE flux.tbl");
    EXPECT_EQ(r.settings.text(Card::GW_FLUXBOUNDTABLE), "flux.tbl");
    r.read("DIFFUSIVE_WAVE");
    EXPECT_EQ(r.settings.channel_routing, ChannelRouting::explicit_routing);
    EXPECT_TRUE(r.settings.channels_simulated);
    // The last card of a group selects the method.
    r.read("PRECIP_UNIF");
    r.read("PRECIP_FILE rain.gag");
    EXPECT_EQ(r.settings.precipitation, PrecipitationKind::gauges);
    r.read("PRECIP_UNIF");
    EXPECT_EQ(r.settings.precipitation, PrecipitationKind::uniform);
    r.read("GREEN_AMPT");
    r.read("INF_REDIST");
    EXPECT_EQ(r.settings.infiltration, InfiltrationMethod::redistribution);
    EXPECT_EQ(r.console(), "");
}

TEST(ProjectCards, DefaultsStandUntilACardOverridesThem) {
    CardReader r;
    EXPECT_DOUBLE_EQ(r.settings.real(Card::EVENT_MIN_Q), 0.1);
    EXPECT_DOUBLE_EQ(r.settings.real(Card::AQUIFER_DELTA_Z), -999.9);
    EXPECT_EQ(r.settings.integer(Card::XWIN_HEIGHT), 660);
    EXPECT_EQ(r.settings.richards_k_option, 2);
    EXPECT_EQ(r.settings.calib_obj_func, 2);
    r.read("RICHARDS_K_OPTION ARITHMETIC");
    r.read("RICHARDS_C_OPTION havercamp");
    r.read("RICHARDS_UPPER_OPTION Average");
    EXPECT_EQ(r.settings.richards_k_option, 1);
    EXPECT_EQ(r.settings.richards_c_option, 2);
    EXPECT_EQ(r.settings.richards_upper_option, 3);
}

TEST(ProjectCards, ArgumentsAndTheirMessages) {
    CardReader r;
    r.read("START_DATE 2020 6 1");
    r.read("END_TIME 2020,6,2,3,4");
    r.read("OUTLET_HYDRO \"my outlet.otl\"");
    r.read("ALPHA 0.5");
    r.read("N_LINKS 12");
    r.read("UNITS");
    r.read("FLUSH_BUFFER");
    r.read("NO2_KOC 1.5 2.5");
    r.read("NUM_THREADS 0");
    r.read("NUM_THREADS 1");
    EXPECT_EQ(r.settings.integer(Card::START_DATE, 2), 1);
    EXPECT_EQ(r.settings.integer(Card::END_TIME, 4), 4);
    EXPECT_EQ(r.settings.text(Card::OUTLET_HYDRO), "my outlet.otl");
    EXPECT_EQ(r.settings.integer(Card::FLUSH_BUFFER), 0);
    EXPECT_DOUBLE_EQ(r.settings.real(Card::NO2_KOC, 1), 2.5);
    EXPECT_EQ(r.console(),
              "Alpha = 0.500000\nNumber of links = 12\nUnits flag = 0\n"
              "Error: unable to set the thread level to 0.\nNUM_THREADS takes 1 or more threads; "
              "the run goes on with the threads it has.\nSetting the thread level to 1.\n");
}

TEST(ProjectCards, RetentionDepthWithANumberIsAUniformDepth) {
    CardReader r;
    r.read("RETEN_DEPTH 2.5");
    EXPECT_EQ(r.console(),
              "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
              "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 2.500000 for the uniform retention "
              "depth\n\n");
    EXPECT_DOUBLE_EQ(r.settings.real(Card::RETENTION), 2.5);
    EXPECT_TRUE(r.settings.text(Card::RETEN_DEPTH).empty());
    CardReader map;
    map.read("RETEN_DEPTH reten.map");
    EXPECT_EQ(map.settings.text(Card::RETEN_DEPTH), "reten.map");
    EXPECT_EQ(map.console(), "");
}

TEST(ProjectCards, CalibrationKeywordsAreCaseSensitiveAndStopTheReading) {
    CardReader r;
    EXPECT_TRUE(r.read("CALIB_OBJ_FUNC RMSE"));
    EXPECT_EQ(r.settings.calib_obj_func, 0);
    EXPECT_TRUE(r.read("CALIB_COMP_DATA EVENTS"));
    EXPECT_EQ(r.settings.calib_comp_data, 1);
    EXPECT_FALSE(r.read("CALIB_OBJ_FUNC rmse"));
    EXPECT_EQ(r.ctx.error.code, 104);
    CardReader d;
    EXPECT_FALSE(d.read("CALIB_COMP_DATA weekly"));
    EXPECT_EQ(d.ctx.error.code, 103);
}

TEST(ProjectCards, NutrientCardsNeedNutrientsFirst) {
    CardReader r;
    EXPECT_FALSE(r.read("OUT_HYD_NO3 no3.out"));
    EXPECT_EQ(r.ctx.error.code, 79);
    EXPECT_EQ(error_message(r.ctx.error),
              "Error: The NUTRIENTS card in the project file must be specified before the "
              "OUT_HYD_XXX card\n");
    CardReader ok;
    ok.read("NUTRIENTS");
    EXPECT_TRUE(ok.read("OV_INIT_DO 4.5"));
    EXPECT_TRUE(ok.read("ST_INIT_NH4 nh4.map"));
    EXPECT_EQ(ok.settings.text(Card::ST_INIT_NH4), "nh4.map");
}

TEST(ProjectCards, OverlongFileNameIsRefusedNotCut) {
    CardReader r;
    EXPECT_TRUE(r.read("SUMMARY " + std::string(127, 's')));
    EXPECT_EQ(r.settings.text(Card::SUMMARY).size(), 127u);
    EXPECT_FALSE(r.read("OUTLET_HYDRO " + std::string(200, 'o')));
    EXPECT_EQ(r.ctx.error.code, err::message_printed);
    EXPECT_EQ(r.console(),
              "Error: the argument of card outlet_hydro is longer than 127 characters:\n" +
                  std::string(200, 'o') + "\n");
}

// Each rule with a project that breaks it, in the order the rules are checked,
// ends the run with the message of its code.
TEST(CrossCardRules, EachBrokenRuleEndsTheRunWithItsMessage) {
    const std::pair<const char*, int> rules[] = {
        {"ROUGHNESS r.map\nMANNING_N 0.05", 6},
        {"LONG_TERM\nET_CALC_PENMAN\nET_CALC_DEARDORFF", 7},
        {"HMET_SAMSON a\nHMET_HMX b", 8},
        {"LONG_TERM", 9},
        {"RAIN_INTENSITY 0", 11},
        {"LONG_TERM\nET_CALC_DEARDORFF\nGREEN_AMPT", 20},
        {"LONG_TERM\nET_CALC_DEARDORFF\nINF_REDIST", 21},
        {"LONG_TERM\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a", 22},
        {"LONG_TERM\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a\nVHEIGHT v", 23},
        {"LONG_TERM\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a\nVHEIGHT v\nTCOEFF t", 24},
        {"LONG_TERM\nET_CALC_PENMAN\nINF_REDIST\nALBEDO a\nVHEIGHT v\nTCOEFF t\nCANOPY c", 25},
        {"INF_RICHARDS\nGW_SIMULATION", 32},
        {"CHAN_DRAIN", 35},
        {"CHAN_BACKWATER", 35},
        {"GW_SIMULATION\nGW_UNIF_POROSITY 0.3\nGW_POROSITY_MAP p.map", 38},
        {"GW_SIMULATION\nGW_UNIF_POROSITY 0.3\nGW_UNIF_HYCOND 1\nGW_HYCOND_MAP k.map", 40},
        {"GW_SIMULATION\nGW_UNIF_POROSITY 0.3\nGW_UNIF_HYCOND 1\nSACRAMENTO s", 42},
        {"TANVIK", 43},
        {"TANVIK\nMORREL m.dat\nTANVIK_EVENT_NUM", 44},
        {"TANVIK\nMORREL m.dat\nGW_SIMULATION\nGW_UNIF_POROSITY 1\nGW_UNIF_HYCOND 1", 45},
        {"MORREL m.dat", 46},
        {"MAP_TYPE 4", 5},
    };
    std::vector<test::ProjectCase> cases;
    for (const auto& [cards, code] : rules) {
        ErrorRecord record;
        record.raise(code);
        cases.push_back({cards, "\n" + error_message(record)});
    }
    const std::string neither =
        "\nWarning: You have specified neither spatially-varied, uniform, "
        "or mapping table ";
    // The host's lines come before its errors; groundwater warns of what it
    // lacks before it is refused as a process this version does not simulate.
    cases.push_back({"TANVIK\nMORREL share.dat\nTANVIK_EVENT_NUM",
                     "Running TORVA in TANVIK environment\n"
                     "TORVA will share data with MORREL through file: share.dat\n"
                     "This is an event call of TORVA by TANVIK, tanvik_event_num=-1\n\nError: "
                     "TORVA is running within TANVIK in event mode."});
    cases.push_back({"GW_SIMULATION", neither + "porosity for\n"});
    cases.push_back({"GW_SIMULATION", neither + "hydraulic \n"});
    cases.push_back({"GW_SIMULATION", "  GW_SIMULATION          groundwater\n"});
    // A 50,000-character line is split into lines of the buffer's length; the
    // pieces are unknown words and the rest of the project still reads. Cards
    // with missing arguments read as 0 (words are refused: see the refusals).
    cases.push_back({"COMMENT_WORD" + std::string(50000, 'x'),
                     "Warning: unknown card found in the project file: comment_wordxxx", 0});
    cases.push_back(
        {"HYD_FREQ\nSTART_DATE 2020", "Warning: Write hydrograph time step not specified", 0});
    test::expect_project_cases(cases);
}

TEST(ProjectFile, BinaryFileIsRefused) {
    TempDir dir;
    std::string binary(4096, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 37 % 256);
    dir.write("binary.prj", binary);
    const auto b = run_program_in(dir.path(), {"binary.prj"});
    EXPECT_NE(b.err.find("File Does not Appear to be a Valid TORVA/KELDOR Project file\n"),
              std::string::npos);
    EXPECT_EQ(b.status, 1);
}

}  // namespace
}  // namespace torva
