// Analyzers run end to end on the small 3 x 3 watershed drained by its
// two-link network (link 1 of 2 nodes into link 2 of 3, the outlet link):
// their reports on the console and in their files, the moments at which each
// trigger fires, the time stamp, and the analyzer files that are refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
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

// The console without the lines every run of the small project prints, so
// that what the analyzers say stands alone (their warnings, the set-up line
// and the reports) in the order it comes.
std::string analyzer_lines(const std::string& console) {
    static const char* const kCommon[] = {
        "Parallel version",     "reading ",         "finished reading", "number of grid cells",
        "outlet is in grid",    "building cell to", "total time to",    "Running....",
        "simulation duration ", "Run time",
    };
    std::istringstream in(test::normalise(console));
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        bool common = false;
        for (const char* start : kCommon) common = common || line.starts_with(start);
        if (!common)
            kept += line + "\n";
    }
    return kept;
}

// The gauge file of two events; an event run simulates the first only, whose
// rain falls from 10:02 to 10:06.
const std::string kTwoEvents =
    "EVENT \"first\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\nGAGES 2020 6 1 10 2 0\n"
    "GAGES 2020 6 1 10 4 2\nGAGES 2020 6 1 10 6 1\n"
    "EVENT \"second\"\nNRGAG 1\nNRPDS 2\nCOORD 15 15\nGAGES 2020 6 2 10 0 0\n"
    "GAGES 2020 6 2 10 5 2\n";
const std::string kGaugeCards =
    "-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\nPRECIP_FILE rain.gag\n";

// Link 1 alone, a trapezoid of two nodes, is the outlet link: its nodes lie
// in the middle and the outlet cell of the middle column.
const std::string kOneLink =
    "TORVA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.7\nLINKS 1\nMAXNODES 2\nCONNECT 1 0 0\n"
    "LINK 1\nTRAPEZOID\nNODES 2\nDX 10\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 9.6\nXSEC\nBOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\n"
    "NODE 2\nELEV 9.55\n";
const std::string kOneLinkCells =
    "GRIDSTREAMFILE\nSTREAMCELLS 2\n"
    "CELLIJ 2 2\nNUMNODES 1\nLINKNODE 1 1 1.0\nCELLIJ 3 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n";

struct GoldenCase {
    const char* name;  // of the golden file under tests/output/golden/analyzers/
    std::string analyzers;
    std::string edits = "";
    std::string network = test::kSmallNetwork;
    std::string grid_stream = test::kSmallGridStream;
    const char* file = nullptr;  // an analyzer's file, compared with <name>_file.txt
};

// Each report compared whole, console and file, with the small network's own
// discharges and depths. Uniform rain of 10 mm/h falls from 10:00 for 5
// minutes unless the case says otherwise, and the run ends at 10:10:30, the
// first step past its 10 minutes.
TEST(AnalyzerReports, ConsoleAndFileAsGolden) {
    const GoldenCase cases[] = {
        // Two hours of rain, reported every simulated hour: 10:00, 11:00 and
        // 12:00, with the nodes above the threshold and their count (of the
        // letters v and t the later holds).
        {"hourly_flow", "2DS, flow, t, >, 0.002, vtsc, 3600\n",
         "TOT_TIME 120\nRAIN_DURATION 120\nRAIN_INTENSITY 30\n"},
        // One line of marks per link at the start (dry channels: every depth
        // is 0) and at the end.
        {"depth_marks", "2DS, DEPTH, Ss, >=, 0, vs\n"},
        {"comments_only", "# no analyzer\n\n   \n#2DS flow S > 0 s\n  # 2DS flow S > 0 s\n"},
        {"empty_file", ""},
        // Lines that set up nothing, and one that tests nothing.
        {"nothing_set_up",
         "1DS conc_1 S > 1 s\n2DG depth S > 1 s\nVOV_OV x\nABC flow S > 1 s\n"
         "2DS area S + 1 sf plus.txt\n",
         "", test::kSmallNetwork, test::kSmallGridStream, "plus.txt"},
        {"one_link", "2DS flow Ss > 0.00005 vcds\n", "", kOneLink, kOneLinkCells},
        // The first event's start (10:02) and end (10:12:30, the first step
        // past 10 minutes after its start), to the console and a file.
        {"event_moments", "2DS flow Ee > 0.0001 vcdsf events.txt\n", kGaugeCards,
         test::kSmallNetwork, test::kSmallGridStream, "events.txt"},
        // Values without a test text, only the nodes that pass, with values.
        {"passing_values", "2DS area s < 0.01 tds\n2DS flow s <= 0.0004 ts\n"},
    };
    for (const GoldenCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("rain.gag", kTwoEvents);
        const test::ProgramRun run =
            run_analyzers(dir, c.analyzers, c.edits, c.network, c.grid_stream);
        EXPECT_EQ(run.status, 0);
        const std::string base = std::string("output/golden/analyzers/") + c.name;
        EXPECT_EQ(analyzer_lines(run.out), test::golden(base + ".txt"));
        if (c.file)
            EXPECT_EQ(dir.read(c.file), test::golden(base + "_file.txt"));
    }
}

// The pass counts of the reports in the order they were made.
std::vector<int> pass_counts(const std::string& reports) {
    std::vector<int> counts;
    static const std::regex count("====> (\\d+) out of 109 nodes passed");
    for (std::sregex_iterator m(reports.begin(), reports.end(), count), end; m != end; ++m)
        counts.push_back(std::stoi((*m)[1]));
    return counts;
}

// The README's example as a user runs it from the top of the source tree
// (here a copy whose inputs link to the bundled ones): the flood watch finds
// the lower reach of link 5 above 10 m3/s at 14:40, 14:50 and 15:00 only,
// and 7 nodes below 5 cm at the end, the upper ends of links 1 and 2.
TEST(AnalyzerReports, ValleyExampleAsTheReadmeTellsIt) {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path examples = fs::path(TORVA_EXAMPLES) / "valley";
    const fs::path valley = dir.path() / "examples" / "valley";
    fs::create_directories(valley / "out");
    for (const char* file : {"valley.msk", "valley.ele", "valley.cmt", "landuse.idx", "valley.chn",
                             "valley.gst", "valley.anl", "valley_analyzers.prj"})
        fs::create_symlink(examples / file, valley / file);
    const test::ProgramRun run =
        test::run_program_in(dir.path(), {"examples/valley/valley_analyzers.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<int> floods = {0, 0, 0, 0, 27, 27, 18, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(pass_counts(dir.read("examples/valley/out/floods.txt")), floods);
    EXPECT_EQ(pass_counts(run.out), floods);
    const std::string dry = dir.read("examples/valley/out/dry_reaches.txt");
    EXPECT_EQ(pass_counts(dry), std::vector<int>{7});
    EXPECT_NE(dry.find("   1:[T, 0.0236][T, 0.0320][F, 0.0808]"), std::string::npos) << dry;
}

// The analyzer file is an input file like any other: its tags take the
// simulation's replacement values.
TEST(AnalyzerReports, ReplacementTagsInTheAnalyzerFile) {
    TempDir dir;
    dir.write("params.txt", "1\n[LIMIT] \"%5.3lf\"\n");
    dir.write("values.txt", "0.25\n");
    const test::ProgramRun run = run_analyzers(
        dir, "2DS flow S > [LIMIT] cs\n", "REPLACE_PARAMS params.txt\nREPLACE_VALS values.txt\n");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("the beginning of the simulation at 06-01-2020, 10:0: 0.  Nodes with "
                           "values > 0.250000:"),
              std::string::npos)
        << run.out;
}

// Model time is a Julian date whose days begin at noon: 2451545.0 is noon of
// 1 January 2000, and each day adds 1. A time on a whole second is shown as
// that second, not the one before (0.01 s is added before the split).
TEST(AnalyzerReports, TimeStampOfHandConvertedJulianDates) {
    const struct {
        double julian;
        const char* stamp;
    } cases[] = {
        // 31 May 2020 is 7456 days after 1 January 2000: midnight before it
        // is 2451545.0 + 7456 - 0.5.
        {2459000.5, "05-31-2020, 0:0: 0"},
        {2459000.5 + 43199.0 / 86400.0, "05-31-2020, 11:59:59"},  // just before noon
        {2459001.0, "05-31-2020, 12:0: 0"},
        {2459001.5 + 1.0 / 86400.0, "06-01-2020, 0:0: 1"},  // just after midnight
        {2451544.5 - 1.0 / 86400.0, "12-31-1999, 23:59:59"},
        {2458908.5 + 18.5 / 24.0, "02-29-2020, 18:30: 0"},  // a leap day
    };
    for (const auto& c : cases) EXPECT_EQ(analyzer_time_stamp(c.julian), c.stamp) << c.julian;
}

// The number of reports whose header names the array, in the console.
int reports_of(const std::string& console, const std::string& array) {
    int count = 0;
    const std::string header = "stream array " + array + " at ";
    for (std::size_t at = console.find(header); at != std::string::npos;
         at = console.find(header, at + 1))
        ++count;
    return count;
}

// One analyzer per trigger, each named apart (an array name is matched on
// its keyword's length, so "flow_E" watches the flow): every trigger fires
// exactly at its moments. The uniform-rain run has 22 steps, at 0 to 630 s.
TEST(AnalyzerNotifications, EachTriggerFiresAtItsMoments) {
    const std::string analyzers =
        "2DS flow_step t > -1 s 0\n2DS flow_minute t > -1 s 60\n2DS flow_ten t > -1 s 600\n"
        "2DS flow_E E > -1 s\n2DS flow_e e > -1 s\n2DS flow_S S > -1 s\n2DS flow_s s > -1 s\n"
        "2DS flow_c c > -1 s\n2DS flow_Ss Ss > -1 s\n";
    const char* const arrays[] = {"flow_step", "flow_minute", "flow_ten", "flow_E",
                                  "flow_e",    "flow_S",      "flow_s",   "flow_c"};
    const struct {
        std::string edits;
        int reports[8];  // of each array above
    } cases[] = {
        // Every step; at 0, 60, ..., 600 s; at 0 and 600 s.
        {"", {22, 11, 2, 1, 1, 1, 1, 0}},
        // An event run of the two-event file simulates the first event only.
        {kGaugeCards, {22, 11, 2, 1, 1, 1, 1, 0}},
        // The outlet hydrograph cannot be written: the first step fails after
        // its analyzers were told of the event's start, and reports the crash.
        {"OUTLET_HYDRO /dev/full\n", {0, 0, 0, 1, 0, 1, 0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edits);
        TempDir dir;
        dir.write("rain.gag", kTwoEvents);
        const std::string out = run_analyzers(dir, analyzers, c.edits).out;
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(reports_of(out, arrays[k]), c.reports[k]) << arrays[k];
        EXPECT_EQ(reports_of(out, "flow_Ss"), c.reports[5] + c.reports[6]);
    }
}

// An analyzer's file that cannot be opened stops the run before its time
// loop: every analyzer, before and after it in the file, reports the crash
// point (the one whose file failed writes nowhere), and none reports the
// start of the simulation.
TEST(AnalyzerNotifications, SetUpThatFailsReportsTheCrashPoint) {
    TempDir dir;
    // A folder stands where the second analyzer's file should go: it cannot
    // be opened (a missing folder is refused before any set-up).
    std::filesystem::create_directory(dir.path() / "taken");
    const test::ProgramRun run =
        run_analyzers(dir, "2DS flow Sc > -1 s\n2DS depth Sc > 0 f taken\n2DS area Sc > 0 s\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(reports_of(run.out, "flow"), 1);
    EXPECT_EQ(reports_of(run.out, "area"), 1);
    EXPECT_NE(run.out.find("at the program crash point at 06-01-2020, 10:0: 0"), std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("Running...."), std::string::npos);
}

// Each analyzer file that cannot be used stops the run with the message
// naming it, before any output (the summary) is opened.
TEST(AnalyzerRefusals, EachStopsTheRunBeforeAnyOutputIsOpened) {
    const std::string at = "Error: analyzer file a.anl, line ";
    const struct {
        std::string analyzers;
        std::string message;
        std::string edits = "";
    } cases[] = {
        {"",
         "Error: unable to open the analyzer file none.anl (card ANALYZERS): No such file or "
         "directory.\n",
         "ANALYZERS none.anl"},
        {"2DS flow t > 10 s\n",
         at + "1: the line ends where the interval in seconds (trigger t) should follow.\n"},
        {"# a comment\n2DS flow S > 10 sf\n",
         at + "2: the line ends where the output file name (report letter f) should follow.\n"},
        {"2DS flow\n", at + "1: the line ends where the trigger letters should follow.\n"},
        {"2DS flow S >\n", at + "1: the line ends where the threshold should follow.\n"},
        {"2DS flow S > 1\n", at + "1: the line ends where the report letters should follow.\n"},
        {"2DS flow S > abc s\n", at + "1: the threshold abc is not a number.\n"},
        {"2DS flow S > nan s\n", at + "1: the threshold nan is not a finite number.\n"},
        {"2DS flow t > 1 s -60\n",
         at + "1: the interval -60 is negative; it counts the seconds between reports.\n"},
        {"2DS flow t > 1 s 1.5\n", at + "1: the interval 1.5 is not a whole number.\n"},
        {"2DS flow S > 1 f \"\"\n", at + "1: the output file name (report letter f) is empty.\n"},
        {"2DS flow Sx > 1 s\n", at + "1: x is no trigger letter: t, E, e, S, s or c.\n"},
        {"2DS flow S > 1 sq\n", at + "1: q is no report letter: t, v, s, f, c or d.\n"},
        {"2DS speed S > 1 s\n",
         at + "1: unable to find 2DS array [speed]; the 2DS arrays are depth, area and flow.\n"},
        {"2DS flow S > 1 s\n",
         at + "1: a 2DS analyzer watches the channel network, and the project names none "
              "(CHANNEL_INPUT).\n",
         "-CHANNEL_INPUT\n-STREAM_CELL\n-CHAN_EXPLIC"},
        // Every faulty line is named.
        {"2DS flow\n2DS flow S > 1 s\n2DS depth S > 1\n",
         at + "1: the line ends where the trigger letters should follow.\n" + at +
             "3: the line ends where the report letters should follow.\n"},
        // The analyzers' files are outputs like every other.
        {"2DS flow S > 1 f elevation.ele\n",
         "Error: output file elevation.ele (card ANALYZERS, line 1 of a.anl) is the input file "
         "of card ELEVATION.\n"},
        {"2DS flow S > 1 f a.anl\n",
         "Error: output file a.anl (card ANALYZERS, line 1 of a.anl) is the input file of card "
         "ANALYZERS.\n"},
        {"2DS flow S > 1 f x.txt\n2DS depth s > 1 f x.txt\n",
         "Error: output file x.txt (card ANALYZERS, line 2 of a.anl) is also the output file of "
         "card ANALYZERS, line 1 of a.anl.\n"},
        {"2DS flow S > 1 f summary.txt\n",
         "Error: output file summary.txt (card ANALYZERS, line 1 of a.anl) is also the output "
         "file of card SUMMARY.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.analyzers + c.edits);
        TempDir dir;
        const test::ProgramRun run =
            run_analyzers(dir, c.analyzers, "SUMMARY summary.txt\n" + c.edits);
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        EXPECT_EQ(run.status, 1);
        EXPECT_FALSE(dir.exists("summary.txt"));
    }
}

// With constituents modelled, a 1DS name binds to one of its arrays and a
// constituent number from 1 to their count; a derived quotient by zero is
// the mark 9999.99.
TEST(Analyzers, ConstituentArrayNamesAndDerivedValues) {
    const struct {
        const char* name;
        int constituents;
        ConstituentArrayFault fault;
        int number;
    } cases[] = {
        {"conc_2", 0, ConstituentArrayFault::no_constituents, 0},
        {"conc_2", 3, ConstituentArrayFault::none, 2},
        {"qlatmass_3", 3, ConstituentArrayFault::none, 3},
        {"conc_4", 3, ConstituentArrayFault::out_of_range, 4},
        {"conc_0", 3, ConstituentArrayFault::out_of_range, 0},
        {"conc", 3, ConstituentArrayFault::out_of_range, 0},
        {"speed_1", 3, ConstituentArrayFault::unknown_name, 1},
    };
    for (const auto& c : cases) {
        int number = -1;
        EXPECT_EQ(find_constituent_array(c.name, c.constituents, number), c.fault) << c.name;
        EXPECT_EQ(number, c.number) << c.name;
    }
    EXPECT_EQ(derive(DerivedOperation::subtract, 10.25, 9.5), 0.75);
    EXPECT_EQ(derive(DerivedOperation::divide, 3.0, 0.0), 9999.99);
    EXPECT_EQ(derive(DerivedOperation::divide, 3.0, 2.0), 1.5);
}

}  // namespace
}  // namespace torva
