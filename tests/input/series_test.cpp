#include "input/series.hpp"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <functional>
#include <string>

#include "core/clock.hpp"
#include "input/replace.hpp"
#include "input_fixture.hpp"

namespace torva {
namespace {

class SeriesTest : public testing::InputTest {
  protected:
    // Reads a time series file through its card and returns the console output.
    std::string read_time_series(const std::string& text) {
        read_time_series_card(ctx_, write("series.ts", text));
        return console();
    }
    std::string read_elevation_series(const std::string& text) {
        read_elevation_series_card(ctx_, write("series.es", text));
        return console();
    }
};

TEST(SeriesEntryTime, RelativeEntriesCountDaysAbsoluteOnesAreJulianDates) {
    EXPECT_DOUBLE_EQ(series_entry_time(0, 0, 1, 12, 0, true), 1.5);
    // Relative times pass through Julian dates, which keep about 1e-10 day.
    EXPECT_NEAR(series_entry_time(0, 0, 0, 6, 30, true), 0.25 + 30.0 / 1440.0, 1e-9);
    // Absolute entries are the Julian dates of the model clock.
    EXPECT_DOUBLE_EQ(series_entry_time(2000, 1, 1, 12, 0, false), 2451545.0);
    EXPECT_DOUBLE_EQ(series_entry_time(2000, 1, 1, 0, 0, false), 2451544.5);
    // Series times and the model clock must agree, or boundaries would shift.
    const int dates[][5] = {
        {1999, 3, 1, 6, 30}, {2024, 2, 29, 23, 59}, {1987, 12, 31, 0, 1}, {2031, 7, 15, 12, 0}};
    for (const auto& d : dates)
        EXPECT_NEAR(series_entry_time(d[0], d[1], d[2], d[3], d[4], false),
                    calendar_to_julian(d[0], d[1], d[2], d[3], d[4]), 1e-9)
            << d[0] << "-" << d[1] << "-" << d[2];
}

// Files of two series each, read in order; a tag in a series line is replaced.
TEST_F(SeriesTest, FilesOfTwoSeriesAreReadInOrder) {
    ASSERT_EQ(read_replacement_parameters(ctx_, write("p.txt", "1\n[Q] %4.1lf\n")), 0);
    ASSERT_EQ(read_replacement_values(ctx_, write("v.txt", "12.34\n")), 0);
    EXPECT_EQ(read_elevation_series("TORVA_ES\n\"rating curve\"\n10 1\n20 [Q]\nEND_ES\n"
                                    "TORVA_ES\nrule\n0, 5\nEND_ES\n"),
              "2 elevation series read from file " + path("series.es") + "\n");
    ASSERT_EQ(ctx_.series.elevation_series.size(), 2u);
    const ElevationSeries* rating = find_elevation_series(ctx_.series, "rating curve");
    ASSERT_NE(rating, nullptr);
    EXPECT_EQ(rating->elevations, (std::vector<double>{10, 20}));
    EXPECT_EQ(rating->values, (std::vector<double>{1, 12.3}));
    EXPECT_EQ(read_time_series("written by the host program\nTORVA_TS\n\"release A\"\nRELATIVE\n"
                               "0 0 1 12 0 5.0\n0 0 2 0 0 7.5\nEND_TS\nTORVA_TS\ninflow\nABSOLUTE\n"
                               "2000 1 1 12 0 1.0\nEND_TS\n"),
              "Read time series release A\nRead time series inflow\n2 time series read from file " +
                  path("series.ts") + "\n");
    ASSERT_EQ(ctx_.series.time_series.size(), 2u);
    const TimeSeries& a = ctx_.series.time_series[0];
    EXPECT_TRUE(a.relative_times);
    ASSERT_EQ(a.times.size(), 2u);
    EXPECT_DOUBLE_EQ(a.times[0], 1.5);
    EXPECT_DOUBLE_EQ(a.times[1], 2.0);
    EXPECT_DOUBLE_EQ(a.values[1], 7.5);
    const TimeSeries& b = ctx_.series.time_series[1];
    EXPECT_FALSE(b.relative_times);
    EXPECT_DOUBLE_EQ(b.times[0], 2451545.0);
    EXPECT_EQ(find_time_series(ctx_.series, "inflow"), &b);
    EXPECT_EQ(time_series_position(ctx_.series, "inflow"), 1);
    EXPECT_EQ(time_series_position(ctx_.series, "outflow"), -1);

    // At the start of the run relative times move to the start date.
    make_series_times_absolute(ctx_, 2451545.0);
    EXPECT_DOUBLE_EQ(a.times[0], 2451546.5);
    EXPECT_FALSE(a.relative_times);
    EXPECT_DOUBLE_EQ(b.times[0], 2451545.0);
}

// Each file that cannot be read whole: the console, with <file> for the
// file's name; the run stops and no series of the file is kept.
TEST_F(SeriesTest, FaultsInAFileStopTheRunNamingTheLine) {
    const std::string ts_none = "0 time series read from file <file>\n";
    const std::string es_none = "0 elevation series read from file <file>\n";
    const std::string line = "Error: line ", entry = " of file <file> is no entry (";
    const std::string curve = "elevation value) of the elevation series [curve]:\n";
    const struct {
        bool time;
        std::string text, console;
    } cases[] = {
        {true, "TORVA_TS\nflow\nRELATIVE\n0 0 1 0 0 2.0\n",
         "Error: the time series [flow] in file <file> ends without its END_TS line\n" + ts_none},
        {true, "TORVA_TS\nflow\nABSOLUTE\n2000 1 1 0 0 2.0\n2000 1 x 0 0 3.0\nEND_TS\n",
         line + "5" + entry + "year month day hour minute value) of the time series [flow]:\n" +
             "2000 1 x 0 0 3.0\n" + ts_none},
        {false, "TORVA_ES\ncurve\n1 nan\nEND_ES\n",
         line + "3" + entry + curve + "1 nan\n" + es_none},
        // A blank line inside a series is an entry, and no good one.
        {false, "TORVA_ES\ncurve\n1 2\n\n3 4\nEND_ES\n",
         line + "4" + entry + curve + "\n" + es_none},
        {false, "TORVA_ES\nopen\n1 1\n",
         "Error: the elevation series [open] in file <file> ends without its END_ES line\n" +
             es_none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ctx_.error.clear();
        std::string out = c.time ? read_time_series(c.text) : read_elevation_series(c.text);
        const std::string file = path(c.time ? "series.ts" : "series.es");
        for (std::size_t at; (at = out.find(file)) != std::string::npos;)
            out.replace(at, file.size(), "<file>");
        EXPECT_EQ(out, c.console);
        EXPECT_EQ(ctx_.error.code, err::message_printed);
        EXPECT_TRUE(ctx_.series.time_series.empty() && ctx_.series.elevation_series.empty());
    }
}

TEST_F(SeriesTest, MissingFilesPrintTheirMessageAndTheRunGoesOn) {
    read_time_series_card(ctx_, path("absent.ts"));
    read_elevation_series_card(ctx_, path("absent.es"));
    EXPECT_EQ(console(), "Error: Time series file not found [" + path("absent.ts") +
                             "]\nError: Elevation series file not found [" + path("absent.es") +
                             "]\n");
    EXPECT_FALSE(ctx_.error.pending());
}

TEST_F(SeriesTest, RuleCurveTakesTheLeftValueAndRatingCurveInterpolates) {
    ElevationSeries curve{"curve", {10, 20, 30}, {1, 2, 4}};
    EXPECT_DOUBLE_EQ(elevation_series_step_value(ctx_, &curve, 15), 1.0);
    EXPECT_DOUBLE_EQ(elevation_series_value(ctx_, &curve, 15), 1.5);
    EXPECT_DOUBLE_EQ(elevation_series_value(ctx_, &curve, 27.5), 3.5);
    // No extrapolation beyond the ends.
    EXPECT_DOUBLE_EQ(elevation_series_value(ctx_, &curve, -100), 1.0);
    EXPECT_DOUBLE_EQ(elevation_series_step_value(ctx_, &curve, 100), 4.0);
    ElevationSeries single{"single", {5}, {9}};
    EXPECT_DOUBLE_EQ(elevation_series_value(ctx_, &single, 100), 9.0);
    EXPECT_EQ(console(), "");
    EXPECT_FALSE(ctx_.error.pending());
}

// A lookup without a series or entries stops the run; a value no interval
// holds gives 0 and a message, and the run goes on.
TEST_F(SeriesTest, LookupFailuresAndTheirMessages) {
    TimeSeries no_entries{"none", {}, {}}, tangled{"tangled", {0, 10, 20}, {1, 2, 3}};
    ElevationSeries no_heights{"none", {}, {}}, knotted{"tangled", {0, 10, 20}, {1, 2, 3}};
    const std::string extract = "Error: attempting to extract a value from ";
    struct Case {
        std::function<double()> lookup;
        std::string message;
        int code;
    };
    int hint = 0;
    const Case cases[] = {
        {[&] { return time_series_value(ctx_, nullptr, 1.0, hint); },
         extract + "a time series that does not exist.\n", err::message_printed},
        {[&] { return time_series_value(ctx_, &no_entries, 1.0, hint); },
         extract + "a time series [none] with no entries.\n", err::message_printed},
        {[&] { return time_series_value(ctx_, &tangled, std::nan(""), hint); },
         "Error: something is really messed up with your time series [tangled].\n", 0},
        {[&] { return elevation_series_value(ctx_, nullptr, 1.0); },
         extract + "an elevation series that does not exist.\n", err::message_printed},
        {[&] { return elevation_series_step_value(ctx_, &no_heights, 1.0); },
         extract + "an elevation series [none] with no entries.\n", err::message_printed},
        {[&] { return elevation_series_value(ctx_, &knotted, std::nan("")); },
         "Error: something is really messed up with your elevation series [tangled].\n", 0},
        // An index table entry whose series was never read.
        {[&] {
             std::vector<double> index{0, 1}, value(2);
             std::vector<int> hints(2);
             time_series_values_by_index(ctx_, {{1, -1}}, index, 1, 0.0, value, hints);
             return value[1];
         },
         extract + "a time series that does not exist.\n", err::message_printed},
    };
    for (const Case& c : cases) {
        ctx_.error.clear();
        EXPECT_EQ(c.lookup(), 0.0);
        EXPECT_EQ(console(), c.message);
        EXPECT_EQ(ctx_.error.code, c.code);
    }
}

TEST_F(SeriesTest, TimeLookupInterpolatesHoldsTheEndsWhateverTheHint) {
    TimeSeries ts{"q", {1.0, 2.0, 4.0}, {10.0, 20.0, 0.0}};
    int hint = 0;
    EXPECT_DOUBLE_EQ(time_series_value(ctx_, &ts, 0.5, hint), 10.0);
    EXPECT_DOUBLE_EQ(time_series_value(ctx_, &ts, 1.5, hint), 15.0);
    EXPECT_DOUBLE_EQ(time_series_value(ctx_, &ts, 3.0, hint), 10.0);
    EXPECT_EQ(hint, 1);
    EXPECT_DOUBLE_EQ(time_series_value(ctx_, &ts, 9.0, hint), 0.0);
    // Time moving backwards still finds its interval.
    EXPECT_DOUBLE_EQ(time_series_value(ctx_, &ts, 1.25, hint), 12.5);
    EXPECT_EQ(hint, 0);

    // A step written as two entries at the same time, and lookups on entries:
    // the value does not depend on the hint.
    ts = TimeSeries{"steps", {0, 1, 1, 2, 3, 3, 4}, {0, 1, 5, 6, 7, 9, 10}};
    for (double t : {0.5, 1.0, 1.5, 2.0, 3.0, 3.5}) {
        int reference_hint = 0;
        const double expected = time_series_value(ctx_, &ts, t, reference_hint);
        for (int start = -3; start < 10; ++start) {
            int h = start;
            EXPECT_EQ(time_series_value(ctx_, &ts, t, h), expected) << t << " from " << start;
        }
    }
    hint = 0;
    EXPECT_EQ(time_series_value(ctx_, &ts, 1.0, hint), 1.0);
    EXPECT_EQ(time_series_value(ctx_, &ts, 3.0, hint), 7.0);
    EXPECT_EQ(console(), "");
}

TEST_F(SeriesTest, CellsTakeTheSeriesOfTheirIndexInParallel) {
    ctx_.series.time_series.push_back({"low", {0, 10}, {0, 1}});
    ctx_.series.time_series.push_back({"high", {0, 10}, {100, 200}});
    const TimeSeriesIndexTable table{{3, 1}, {7, 0}};
    const int cells = 5000;  // above the size that runs on one thread
    std::vector<double> index(cells + 1), value(cells + 1, -1.0);
    std::vector<int> hints(cells + 1, 0);
    for (int c = 1; c <= cells; ++c) index[c] = c % 2 ? 3.9 : 7.0;  // the integer part counts
    const int threads = omp_get_max_threads();
    omp_set_num_threads(2);
    time_series_values_by_index(ctx_, table, index, cells, 5.0, value, hints);
    omp_set_num_threads(threads);
    for (int c = 1; c <= cells; ++c) ASSERT_EQ(value[c], c % 2 ? 150.0 : 0.5) << "cell " << c;
    EXPECT_EQ(console(), "");
    EXPECT_FALSE(ctx_.error.pending());

    index[400] = 5;
    index[600] = 6;
    time_series_values_by_index(ctx_, table, index, cells, 5.0, value, hints);
    EXPECT_EQ(
        console(),
        "Error: attempting to extract a value from an unknown time series in the time series "
        "table.    Check the mapping table file (.cmt). The specified time series index is 5, "
        "but the \nindex is not found in the time series index table.\n");
    EXPECT_EQ(ctx_.error.code, err::message_printed);
    EXPECT_EQ(value[400], 0.0);
    EXPECT_EQ(value[401], 150.0);
}

}  // namespace
}  // namespace torva
