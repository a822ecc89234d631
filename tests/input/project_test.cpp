// Project file cards: matching, arguments, defaults, actions, the cross-card
// rules and bad input.

#include <gtest/gtest.h>

#include <sstream>
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
    // Each line in turn; whether the last one read.
    bool read_all(const std::string& lines) {
        std::istringstream in(lines);
        bool read = true;
        for (std::string line; std::getline(in, line);) read = this->read(line);
        return read;
    }
    std::string console() { return capture.text(); }
};

// Card lines read one after another by a fresh reader: whether the last one
// reads, the error code it leaves and everything printed. Words match without
// regard to case but whole; comments, empty lines and the host's words are
// ignored silently; a retention depth given as a number is a uniform depth;
// calibration keywords are case-sensitive; nutrient cards need NUTRIENTS
// first; an overlong file name is refused, not cut.
TEST(ProjectCards, LinesReadWithTheirMessagesAndCodes) {
    const std::string unknown = "Warning: unknown card found in the project file: ";
    const struct {
        std::string lines;
        bool read;
        int code;
        std::string console;
    } cases[] = {
        {"timestep 30\nTIMESTEPS 10\nTIMESTE 10", true, 0,
         unknown + "timesteps\n  (ignored; did you mean TIMESTEP?)\n" + unknown +
             "timeste\n  (ignored; did you mean TIMESTEP?)\n"},
        {"# a comment\n#TIMESTEP 5\n\n   \t \nORBAL\nmetric\nSimulation_Input x", true, 0, ""},
        {"RETEN_DEPTH 2.5", true, 0,
         "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH <filename>-or-\n"
         "RETENTION <value>  -or-\nRETEN_DEPTH \n  Using 2.500000 for the uniform retention "
         "depth\n\n"},
        {"CALIB_OBJ_FUNC RMSE\nCALIB_COMP_DATA EVENTS\nCALIB_OBJ_FUNC rmse", false, 104, ""},
        {"CALIB_COMP_DATA weekly", false, 103, ""},
        {"OUT_HYD_NO3 no3.out", false, 79, ""},
        {"NUTRIENTS\nOV_INIT_DO 4.5\nST_INIT_NH4 nh4.map", true, 0, ""},
        {"SUMMARY " + std::string(127, 's'), true, 0, ""},
        {"OUTLET_HYDRO " + std::string(200, 'o'), false, err::message_printed,
         "Error: the argument of card outlet_hydro is longer than 127 characters:\n" +
             std::string(200, 'o') + "\n"},
        {"ALPHA 0.5\nN_LINKS 12\nUNITS\nNUM_THREADS 0\nNUM_THREADS 1", true, 0,
         "Alpha = 0.500000\nNumber of links = 12\nUnits flag = 0\n"
         "Error: unable to set the thread level to 0.\nNUM_THREADS takes 1 or more threads; "
         "the run goes on with the threads it has.\nSetting the thread level to 1.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.substr(0, 60));
        CardReader r;
        EXPECT_EQ(r.read_all(c.lines), c.read);
        EXPECT_EQ(r.ctx.error.code, c.code);
        EXPECT_EQ(r.console(), c.console);
    }
    CardReader r;
    r.read("OUT_HYD_NO3 no3.out");
    EXPECT_EQ(error_message(r.ctx.error),
              "Error: The NUTRIENTS card in the project file must be specified before the "
              "OUT_HYD_XXX card\n");
}

// What the cards set: the last word read, shared words reaching one setting,
// the last card of a group choosing the method, defaults standing until a
// card overrides them.
TEST(ProjectCards, CardsSetTheirValuesAndDefaultsStand) {
    CardReader r;
    EXPECT_DOUBLE_EQ(r.settings.real(Card::EVENT_MIN_Q), 0.1);
    EXPECT_DOUBLE_EQ(r.settings.real(Card::AQUIFER_DELTA_Z), -999.9);
    EXPECT_EQ(r.settings.integer(Card::XWIN_HEIGHT), 660);
    EXPECT_EQ(r.settings.richards_k_option, 2);
    EXPECT_EQ(r.settings.calib_obj_func, 2);
    r.read_all(
        "timestep 30\nTimeStep\t45.5\nTIMESTEPS 10\nEMBANKMENT dikes.map\n"
        "GW_FLUX_BOUNDTABLE flux.tbl\nDIFFUSIVE_WAVE\nPRECIP_UNIF\nPRECIP_FILE rain.gag\n"
        "GREEN_AMPT\nINF_REDIST\nRICHARDS_K_OPTION ARITHMETIC\nRICHARDS_C_OPTION havercamp\n"
        "RICHARDS_UPPER_OPTION Average\nSTART_DATE 2020 6 1\nEND_TIME 2020,6,2,3,4\n"
        "OUTLET_HYDRO \"my outlet.otl\"\nFLUSH_BUFFER\nNO2_KOC 1.5 2.5\nRETEN_DEPTH 2.5\n"
        "CALIB_OBJ_FUNC RMSE\nCALIB_COMP_DATA EVENTS\nNUTRIENTS\nST_INIT_NH4 nh4.map\nSUMMARY " +
        std::string(127, 's'));
    EXPECT_DOUBLE_EQ(r.settings.real(Card::TIMESTEP), 45.5);
    EXPECT_EQ(r.settings.text(Card::DIKE_MAP), "dikes.map");
    EXPECT_EQ(r.settings.text(Card::GW_FLUXBOUNDTABLE), "flux.tbl");
    EXPECT_EQ(r.settings.channel_routing, ChannelRouting::explicit_routing);
    EXPECT_TRUE(r.settings.channels_simulated);
    EXPECT_EQ(r.settings.precipitation, PrecipitationKind::gauges);
    EXPECT_EQ(r.settings.infiltration, InfiltrationMethod::redistribution);
    EXPECT_EQ(r.settings.richards_k_option, 1);
    EXPECT_EQ(r.settings.richards_c_option, 2);
    EXPECT_EQ(r.settings.richards_upper_option, 3);
    EXPECT_EQ(r.settings.integer(Card::START_DATE, 2), 1);
    EXPECT_EQ(r.settings.integer(Card::END_TIME, 4), 4);
    EXPECT_EQ(r.settings.text(Card::OUTLET_HYDRO), "my outlet.otl");
    EXPECT_EQ(r.settings.integer(Card::FLUSH_BUFFER), 0);
    EXPECT_DOUBLE_EQ(r.settings.real(Card::NO2_KOC, 1), 2.5);
    EXPECT_DOUBLE_EQ(r.settings.real(Card::RETENTION), 2.5);
    EXPECT_TRUE(r.settings.text(Card::RETEN_DEPTH).empty());
    EXPECT_EQ(r.settings.calib_obj_func, 0);
    EXPECT_EQ(r.settings.calib_comp_data, 1);
    EXPECT_EQ(r.settings.text(Card::ST_INIT_NH4), "nh4.map");
    EXPECT_EQ(r.settings.text(Card::SUMMARY).size(), 127u);
    r.read("PRECIP_UNIF");
    EXPECT_EQ(r.settings.precipitation, PrecipitationKind::uniform);
    // The last RETEN_DEPTH card holds: a map after the uniform value.
    r.read("RETEN_DEPTH reten.map");
    EXPECT_EQ(r.settings.text(Card::RETEN_DEPTH), "reten.map");
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
    // The host's lines come before its errors.
    cases.push_back({"TANVIK\nMORREL share.dat\nTANVIK_EVENT_NUM",
                     "Running TORVA in TANVIK environment\n"
                     "TORVA will share data with MORREL through file: share.dat\n"
                     "This is an event call of TORVA by TANVIK, tanvik_event_num=-1\n\nError: "
                     "TORVA is running within TANVIK in event mode."});
    cases.push_back({"GW_SIMULATION",
                     "needs the initial water table (WATER_TABLE) and the aquifer "
                     "bottom (AQUIFER_BOTTOM) maps\n"});
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
