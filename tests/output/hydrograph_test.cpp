#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "output/hydrograph.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

using Folder = test::TempDir;

void give(Model& m, Card card, const std::string& text = "") {
    m.project[card].given = true;
    m.project[card].text = text;
}

// A run of `steps` steps of 10 s whose outlet discharge rises by 0.5 m3/s a step.
void run_steps(Model& m, RunContext& ctx, int steps) {
    m.run.time_step = 10.0;
    m.run.time_step_days = 10.0 / 86400.0;
    m.clock.start_time = 2459000.5;
    m.running = true;
    for (int k = 0; k < steps; ++k) {
        m.clock.step_index = k;
        m.clock.current_time = m.clock.start_time + k * m.run.time_step_days;
        m.clock.elapsed_minutes = k * 10.0 / 60.0;
        m.clock.calendar = julian_to_calendar(m.clock.current_time);
        m.clock.whole_seconds = static_cast<int>(m.clock.calendar.second);
        m.clock.day_of_year =
            day_of_year(m.clock.calendar.year, m.clock.calendar.month, m.clock.calendar.day);
        m.outlet.discharge = 0.5 * k;
        if (k == steps - 1)
            m.running = false;
        hydrograph_output_phase(m, ctx);
    }
}

// Each outlet file of a run whose outlet discharge rises by 0.5 m3/s a 10 s
// step, written every `every` steps: rows in elapsed minutes and their six
// digit twin; strict Julian dates with discharges in cubic feet; long-term
// rows (2459000.5 is 31 May 2020 00:00, day 152 of the year); the host's
// hydrograph file, which takes the discharges back every step.
TEST(OutletHydrograph, EachFileInItsLayout) {
    enum { kPlain, kJulianFeet, kLongTerm };
    const struct {
        Card card;
        int units, every, steps;
        std::string expected;
    } cases[] = {
        {Card::OUTLET_HYDRO, kPlain, 6, 14,
         "    0.00     0.000\n    1.00     3.000\n    2.00     6.000\n"},
        {Card::SIG_OUTLET_HYDRO, kPlain, 6, 14,
         "    0.00     0.000000\n    1.00     3.000000\n    2.00     6.000000\n"},
        {Card::OUTLET_HYDRO, kJulianFeet, 6, 7,
         "2459000.50000000      0.000\n2459000.50069444    105.944\n"},
        {Card::OUTLET_HYDRO, kLongTerm, 6, 7,
         "    152.00000000      0.0000\n    152.00069444      3.0000\n"},
        {Card::ORBAL_HYDRO, kPlain, 1, 12,
         "TORVA_ORBAL_HYDROGRAPH_FILE\n0\n20200531\n0\n1\n12\n"
         "     0.0000      0.5000      1.0000      1.5000      2.0000      2.5000      3.0000"
         "      3.5000      4.0000      4.5000\n     5.0000      5.5000 "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        Folder dir;
        RunContext ctx;
        auto m = std::make_unique<Model>();
        give(*m, Card::OUTLET_HYDRO, dir.file("outlet.otl"));
        give(*m, c.card, dir.file("asked"));
        m->run.strict_julian = m->run.english_units = c.units == kJulianFeet;
        m->run.long_term = c.units == kLongTerm;
        m->run.hydrograph_steps = c.every;
        open_run_files(*m, ctx);
        ASSERT_FALSE(ctx.error.pending());
        run_steps(*m, ctx, c.steps);
        close_run_files(*m, ctx);
        EXPECT_EQ(dir.read("asked"), c.expected);
    }
}

TEST(OutletHydrograph, HostHydrographWithoutOutletFileIsAborted) {
    Folder dir;
    RunContext ctx;
    test::Console console(ctx);
    auto m = std::make_unique<Model>();
    give(*m, Card::ORBAL_HYDRO, dir.file("host.ohy"));
    write_host_hydrograph(*m, ctx);
    EXPECT_EQ(console.text(),
              "\n\nError: Unable to open files to write the ORBAL hydrograph file.\n"
              " Write aborted.\n");
}

// Each output file that cannot be created stops the run with its own code.
TEST(OutputFiles, EveryOpenFailureHasItsCode) {
    Folder dir;
    const std::string nowhere = dir.file("missing/folder/out.txt");
    dir.write("locations.txt", "1\n1 1\n");
    struct Case {
        Card card;
        Card input;
        int code;
        std::string text1;
    };
    const Case cases[] = {
        {Card::OUTLET_HYDRO, Card::SUMMARY, 59, ""},
        {Card::SIG_OUTLET_HYDRO, Card::SUMMARY, 4, "optional 6 digit hydrograph"},
        {Card::OUT_HYD_LOCATION, Card::IN_HYD_LOCATION, 51, nowhere},
        {Card::OUT_DEP_LOCATION, Card::IN_HYD_LOCATION, 50, nowhere},
        {Card::OUT_CON_LOCATION, Card::SUMMARY, 49, nowhere},
        {Card::OUT_THETA_LOCATION, Card::IN_THETA_LOCATION, 48, dir.file("locations.txt")},
        {Card::LAKE_OUTPUT, Card::SUMMARY, 4, "lake output"},
        {Card::CHAN_DEPTH, Card::SUMMARY, 4, "output channel depth"},
        {Card::CHAN_DISCHARGE, Card::SUMMARY, 4, "output channel discharge"},
        {Card::CHAN_STAGE, Card::SUMMARY, 4, "output channel stage"},
        {Card::CHAN_VELOCITY, Card::SUMMARY, 4, "output channel velocity"},
        {Card::FLOOD_STREAM, Card::SUMMARY, 4, "output flood stream stage"},
        {Card::CHAN_SED_FLUX, Card::SUMMARY, 4, "output stream_sed_flux"},
    };
    for (const Case& c : cases) {
        RunContext ctx;
        auto m = std::make_unique<Model>();
        m->project.channel_routing = ChannelRouting::explicit_routing;
        if (c.input != Card::SUMMARY)
            give(*m, c.input, dir.file("locations.txt"));
        give(*m, c.card, nowhere);
        open_run_files(*m, ctx);
        EXPECT_EQ(ctx.error.code, c.code) << static_cast<int>(c.card);
        EXPECT_EQ(ctx.error.text1, c.text1.substr(0, 59)) << static_cast<int>(c.card);
        close_run_files(*m, ctx);
    }
    for (Card input : {Card::IN_HYD_LOCATION, Card::IN_THETA_LOCATION}) {
        RunContext ctx;
        auto m = std::make_unique<Model>();
        give(*m, input, dir.file("no_such_list.txt"));
        read_location_lists(*m, ctx);
        EXPECT_EQ(ctx.error.code, err::open_file);
        EXPECT_EQ(ctx.error.text1,
                  input == Card::IN_HYD_LOCATION ? "hydrograph location" : "in_theta location");
    }
}

}  // namespace
}  // namespace torva
