// The messages of a precipitation input file that cannot be simulated, compared
// byte for byte with golden files, and the run stopped through the error record.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <utility>

#include "meteo/rain_setup.hpp"

namespace torva {
namespace {

using test::golden;
using test::RainSetup;

// Each file that cannot be simulated, the golden file of the start-up scan's
// console, and the run stopped through the error record.
TEST(PrecipMessages, EachUnworkableFileStopsTheStartUpScanWithItsMessage) {
    const std::string header =
        "EVENT \"spring storm\"\nNRGAG 2\nNRPDS 3\nCOORD 0 0 one\nCOORD 100 0 two\n";
    std::string words;
    for (int i = 0; i < 10001; ++i) words += "word ";
    const std::pair<std::string, const char*> cases[] = {
        {words + "\nEVENT late\n", "missing_event.txt"},
        {"EVENT \"spring storm\"\nNRGAG 2\nNRPDS 1\nCOORD 0 0\nGAGES 2004 4 2 8 0 1 2\n",
         "missing_coord.txt"},
        {header + "GAGES 2004 4 2 8 0 1 2\nACCUM 2004 4 2 8 30 1 2\n", "mixed_words.txt"},
        {header + "DEPTH 2004 4 2 8 0 1 2\n", "unknown_word.txt"},
        {header + "GAGES 2004 4 2 8 0 1 2\nGAGES 2004 4 2 9 5 1 2\nGAGES 2004 4 2 9 0 1 2\n",
         "decreasing_time.txt"},
        {header +
             "ACCUM 2004 4 2 8 0 0 0\nACCUM 2004 4 2 8 30 1.5 2.25\nACCUM 2004 4 2 9 0 1.5 2.0\n",
         "decreasing_accum.txt"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(expected);
        RainSetup s(1, 1, 100.0, 60.0);
        s.use_file(text);
        s.prepare();
        EXPECT_EQ(s.ctx.error.code, err::message_printed);
        EXPECT_EQ(s.console(), golden(std::string("meteo/golden/") + expected));
    }
}

// Rain that cannot be set up or applied: the whole console (a golden file
// when the text ends in .txt) and the run stopped through the error record.
TEST(PrecipMessages, SettingsAndStepsThatCannotRain) {
    const std::string far =
        "EVENT far\nNRGAG 2\nNRPDS 1\nCOORD 2000000 0\nCOORD 0 -3000000\n"
        "RATES 2004 4 2 8 0 1 2\n";
    const struct {
        std::function<void(RainSetup&)> set_up;
        bool stepped;  // the message comes from the first step, not the set-up
        std::string console;
        int code = err::message_printed;
    } cases[] = {
        {[](RainSetup& s) { s.use_file("EVENT \"very long\"\nNRGAG 1\nNRPDS 2000\nCOORD 0 0\n"); },
         false,
         "\nThere is a problem with your rainfall input file.  The event entitled:\n"
         "   \"very long\"\nhas 2000 records (NRPDS); at most 1999 records fit in one event.\n"
         "Check the format of the rainfall input file.\n"},
        {[](RainSetup& s) {
             s.use_uniform(10.0, 60);
             s.model->project[Card::START_DATE].given = false;
         },
         false,
         "You did not specify the starting date and time in the\nproject file.  You must do this "
         "for simulations with\nuniform precipitation using the START_DATE and START_TIME\n"
         "cards.  Edit the project file.   Program terminated.\n"},
        {[](RainSetup& s) {
             s.use_uniform(10.0, 60);
             s.use_file("EVENT x\n");
         },
         false, "", 10},
        {[&](RainSetup& s) {
             s.model->run.quiet = true;
             s.card(Card::RAIN_THIESSEN);
             s.use_file(far);
         },
         true, "thiessen_out_of_reach.txt"},
        {[](RainSetup& s) {
             s.use_uniform(10.0, 60);
             s.model->run.super_quiet = true;
             s.model->overland.depth[2] = std::nan("");
         },
         true,
         "A non-real number for water depth has been detected for overland cell 2 after "
         "applying rainfall\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.console);
        RainSetup s(2, 2, 100.0, 60.0);
        c.set_up(s);
        s.prepare();
        if (c.stepped) {
            ASSERT_FALSE(s.ctx.error.pending()) << s.console();
            EXPECT_FALSE(s.step());
        }
        EXPECT_EQ(s.ctx.error.code, c.code);
        EXPECT_EQ(s.console(),
                  c.console.ends_with(".txt") ? golden("meteo/golden/" + c.console) : c.console);
    }
}

TEST(PrecipMessages, HydrometSpanRefusesEarlierEvent) {
    RainSetup s(1, 1, 100.0, 60.0);
    const DateHour first{2004, 3, 10, 6}, last{2004, 9, 30, 23};
    EXPECT_TRUE(event_within_hydromet_span(s.ctx, 1, {2004, 3, 10, 6}, first, last));
    EXPECT_TRUE(event_within_hydromet_span(s.ctx, 1, {2004, 9, 30, 23}, first, last));
    EXPECT_EQ(s.console(), "");
    EXPECT_FALSE(event_within_hydromet_span(s.ctx, 3, {2004, 3, 10, 5}, first, last));
    EXPECT_FALSE(event_within_hydromet_span(s.ctx, 4, {2004, 10, 1, 0}, first, last));
    EXPECT_EQ(s.console(),
              "\nRaingage data starts on hour 5 day 10 month 3 in year 2004\n"
              "while the hmet data begins on hour 6 day 10 of month 3 in year 2004\n"
              "Program terminating.  Check your times and dates.\n"
              "Error: TORVA failed on date check for precip event 3\n"
              "\nRaingage Data starts in month 10 of 2004 while hmet data ends in\n"
              "month 9 of 2004\n"
              "Program terminating.  Check your dates.\n"
              "Error: TORVA failed on date check for precip event 4\n");
}

}  // namespace
}  // namespace torva
