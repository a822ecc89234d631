// The messages of a precipitation input file that cannot be simulated, compared
// byte for byte with golden files, and the run stopped through the error record.

#include <gtest/gtest.h>

#include <string>

#include "meteo/rain_setup.hpp"

namespace torva {
namespace {

using test::golden;
using test::RainSetup;

// The console of the start-up scan of a file with this text.
std::string scan_console(const std::string& file_text, RainSetup& s) {
    s.use_file(file_text);
    s.prepare();
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    return s.console();
}

std::string scan_console(const std::string& file_text) {
    RainSetup s(1, 1, 100.0, 60.0);
    return scan_console(file_text, s);
}

const char* kHeader = "EVENT \"spring storm\"\nNRGAG 2\nNRPDS 3\nCOORD 0 0 one\nCOORD 100 0 two\n";

TEST(PrecipMessages, MissingEventCard) {
    std::string text;
    for (int i = 0; i < 10001; ++i) text += "word ";
    text += "\nEVENT late\n";
    EXPECT_EQ(scan_console(text), golden("meteo/golden/missing_event.txt"));
}

TEST(PrecipMessages, MissingGaugeCoordinateCard) {
    EXPECT_EQ(scan_console("EVENT \"spring storm\"\nNRGAG 2\nNRPDS 1\nCOORD 0 0\n"
                           "GAGES 2004 4 2 8 0 1 2\n"),
              golden("meteo/golden/missing_coord.txt"));
}

TEST(PrecipMessages, TwoDataWordsInOneEvent) {
    EXPECT_EQ(scan_console(std::string(kHeader) + "GAGES 2004 4 2 8 0 1 2\n"
                                                  "ACCUM 2004 4 2 8 30 1 2\n"),
              golden("meteo/golden/mixed_words.txt"));
}

TEST(PrecipMessages, UnknownDataWord) {
    EXPECT_EQ(scan_console(std::string(kHeader) + "DEPTH 2004 4 2 8 0 1 2\n"),
              golden("meteo/golden/unknown_word.txt"));
}

TEST(PrecipMessages, DecreasingTimeStamp) {
    EXPECT_EQ(scan_console(std::string(kHeader) + "GAGES 2004 4 2 8 0 1 2\n"
                                                  "GAGES 2004 4 2 9 5 1 2\n"
                                                  "GAGES 2004 4 2 9 0 1 2\n"),
              golden("meteo/golden/decreasing_time.txt"));
}

TEST(PrecipMessages, DecreasingAccumulation) {
    EXPECT_EQ(scan_console(std::string(kHeader) + "ACCUM 2004 4 2 8 0 0 0\n"
                                                  "ACCUM 2004 4 2 8 30 1.5 2.25\n"
                                                  "ACCUM 2004 4 2 9 0 1.5 2.0\n"),
              golden("meteo/golden/decreasing_accum.txt"));
}

TEST(PrecipMessages, UnreadableGaugeValue) {
    EXPECT_EQ(scan_console(std::string(kHeader) + "GAGES 2004 4 2 8 0 1 2\n"
                                                  "GAGES 2004 4 2 8 30 1 x2\n"),
              golden("meteo/golden/unreadable_value.txt"));
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
