// The Shuffled Complex Evolution search on objectives with known optima, its
// settings checks and stop rules, and its output lines.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "../bench/sce_test_functions.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using sce_test::TestFunction;

TEST(SceSearch, FindsTheOptimaOfTheTestFunctions) {
    for (const TestFunction* t :
         {&sce_test::kGoldsteinPrice, &sce_test::kRosenbrock, &sce_test::kHartmann6})
        for (int seed : {1, 2, 3}) {
            const SceOutcome outcome = sce_test::search(*t, seed);
            EXPECT_TRUE(sce_test::found_optimum(*t, outcome))
                << t->name << " seed " << seed << ": " << outcome.best_criterion;
            EXPECT_LE(outcome.evaluations, 10000 + 3 * 13 * 5);
        }
}

// A point whose simulation fails scores +infinity; the search ranks it last
// and goes on to the optimum in the part of the box that works.
TEST(SceSearch, FailedEvaluationsRankLastAndTheSearchGoesOn) {
    TestFunction half = sce_test::kGoldsteinPrice;
    half.f = [](const Point& p) {
        return p[1] > 0.5 ? std::numeric_limits<double>::infinity() : sce_test::goldstein_price(p);
    };
    const SceOutcome outcome = sce_test::search(half, 4);
    EXPECT_NEAR(outcome.best_criterion, 3.0, 1e-3);
    EXPECT_NEAR(outcome.best[2], -1.0, 1e-2);
}

struct SettingsCase {
    const char* name;
    void (*change)(SceSettings&);
    bool runnable;
    const char* console;  // the whole console text of the checks
    const char* output;   // what the output file receives, when not the console's text
};

const SettingsCase kSettingsCases[] = {
    {"defaults apply without ideflt", [](SceSettings& s) { s.npg = -4; }, true, "", nullptr},
    {"kstop 25", [](SceSettings& s) { s.kstop = 25; }, true,
     " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n"
     " MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = 25 WAS\n"
     " WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n"
     " *** TOTAL NUMBER OF WARNING MESSAGES IS 1\n",
     nullptr},
    {"no complexes", [](SceSettings& s) { s.ngs = 0; }, false,
     " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION 0 IS NOT A VALID CHOICE\n"
     " **WARNING** THE MINIMUM NUMBER OF COMPLEXES 0 IS NOT A VALID CHOICE.\n"
     " SET IT TO DEFAULT\n"
     " *** TOTAL NUMBER OF WARNING MESSAGES IS 1\n",
     nullptr},
    {"own complex settings, nspl 0 and a sub-complex too large",
     [](SceSettings& s) {
         s.ideflt = 1;
         s.npg = 5;
         s.nps = 6;
         s.nspl = 0;
         s.mings = 2;
     },
     true,
     " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX 6 IS NOT\n"
     " A VALID CHOICE, SET IT TO DEFAULT\n"
     " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n"
     " BEFORE SHUFFLING 0 IS NOT A VALID CHOICE, SET IT TO DEFAULT\n"
     " *** TOTAL NUMBER OF WARNING MESSAGES IS 2\n",
     " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX 6 IS NOT\n"
     " A VALID CHOICE, SET IT TO DEFAULT\n"
     " *** TOTAL NUMBER OF WARNING MESSAGES IS 2\n"},
    {"population over the limit",
     [](SceSettings& s) {
         s.ideflt = 1;
         s.ngs = 1000;
         s.mings = 1000;
         s.npg = 66;
         s.nps = 3;
         s.nspl = 5;
     },
     true,
     " **WARNING** THE NUMBER OF POINTS IN A COMPLEX 66 IS NOT\n"
     " A VALID CHOICE, SET IT TO DEFAULT\n"
     " **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION 5000 EXCEED\n"
     " THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n"
     " *** TOTAL NUMBER OF WARNING MESSAGES IS 2\n",
     nullptr},
};

TEST(SceSearch, SettingsChecksWarnAndMend) {
    for (const SettingsCase& c : kSettingsCases) {
        SceSettings s = sce_test::settings_for(sce_test::kGoldsteinPrice, 1);
        c.change(s);
        std::FILE* console = std::tmpfile();
        std::FILE* output = std::tmpfile();
        EXPECT_EQ(check_sce_settings(s, console, output), c.runnable) << c.name;
        EXPECT_EQ(test::contents(console), c.console) << c.name;
        if (c.runnable)
            EXPECT_EQ(test::contents(output), c.output ? c.output : c.console) << c.name;
        std::fclose(console);
        std::fclose(output);
    }
}

TEST(SceSearch, EvaluationLimitBelowThePopulationRunsNoSearch) {
    SceSettings s = sce_test::settings_for(sce_test::kHartmann6, 1);
    s.maxn = 20;  // 5 complexes of 13 points
    check_sce_settings(s, stdout, nullptr);
    std::FILE* console = std::tmpfile();
    SceStreams streams{console, nullptr, "/dev/null"};
    FunctionEvaluator evaluator(sce_test::hartmann6_plus_4);
    SceOutcome outcome;
    EXPECT_EQ(run_sce_search(s, evaluator, streams, outcome), -1);
    EXPECT_EQ(test::contents(console),
              " ENTER THE SCEUA SUBROUTINE --- \n ***  Evolution Loop Number 0\n"
              "Error: maximum number of function calls less than the number of points\n");
    std::fclose(console);
}

// Twelve parameters and an objective that is -1 everywhere, as when no
// observation is switched on: every criterion is 1, the criterion stops
// changing, and the search ends after kstop + 1 loops. Each loop line carries
// the first eight parameters on one line and the other four on the next; the
// final estimate shows twelve.
TEST(SceSearch, OutputFileLayout) {
    SceSettings s = sce_test::settings_for(sce_test::kGoldsteinPrice, 5);
    s.nopt = 12;
    s.kstop = 2;
    s.a.assign(13, 0.0);
    s.bl.assign(13, 0.0);
    s.bu.assign(13, 1.0);
    check_sce_settings(s, stdout, nullptr);
    test::TempDir dir;
    std::FILE* output = std::tmpfile();
    std::FILE* console = std::tmpfile();
    const std::string log = (dir.path() / "log.txt").string();
    SceStreams streams{console, output, log};
    FunctionEvaluator evaluator([](const Point&) { return -1.0; });
    SceOutcome outcome;
    EXPECT_EQ(run_sce_search(s, evaluator, streams, outcome), 50 + 3 * 25 * 2);
    EXPECT_EQ(test::contents(output), test::golden("calibration/golden/sce_output_layout.txt"));
    // One progress line per loop, with the loop's times; the rest as ever.
    std::istringstream lines(test::contents(console));
    std::string fixed;
    int progress = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("Loop ")) {
            EXPECT_EQ(line.find("Loop " + std::to_string(progress) + ": "), 0u) << line;
            ++progress;
            continue;
        }
        fixed += line + "\n";
    }
    EXPECT_EQ(fixed, test::golden("calibration/golden/sce_console_layout.txt"));
    EXPECT_EQ(progress, 4);  // loops 0 to 3
    std::fclose(output);
    std::fclose(console);
}

}  // namespace
}  // namespace torva
