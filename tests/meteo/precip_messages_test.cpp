// The messages of a precipitation input file that cannot be simulated, compared
// byte for byte with golden files, and the run stopped through the error record.

#include <gtest/gtest.h>

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
        {header + "GAGES 2004 4 2 8 0 1 2\nGAGES 2004 4 2 8 30 1 x2\n", "unreadable_value.txt"},
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

TEST(PrecipMessages, ThiessenWithoutGaugeInReach) {
    RainSetup s(2, 2, 100.0, 60.0);
    s.model->run.quiet = true;
    s.card(Card::RAIN_THIESSEN);
    s.use_file(
        "EVENT far\nNRGAG 2\nNRPDS 1\nCOORD 2000000 0\nCOORD 0 -3000000\n"
        "RATES 2004 4 2 8 0 1 2\n");
    s.prepare();
    ASSERT_FALSE(s.ctx.error.pending()) << s.console();
    EXPECT_FALSE(s.step());
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    EXPECT_EQ(s.console(), golden("meteo/golden/thiessen_out_of_reach.txt"));
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
