// Sacramento soil moisture accounting over single intervals: a second,
// independent statement of the model, written out step by step from the
// model's description, follows the library's through a synthetic year of
// hourly input and demand; the balance closes every hour; and three cases
// worked by hand (a dry spell, a storm on a full upper zone, a wholly
// impervious watershed).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "soil/sacramento.hpp"

namespace torva {
namespace {

constexpr double kHour = 1.0 / 24.0;

// ---------------------------------------------------------------------------
// The model as its description states it, one numbered step after another,
// kept apart from the library on purpose: no helper, no shared constant.
// Readings of the description that it leaves open are marked "reading".
struct Statement {
    double uztwc, uzfwc, lztwc, lzfsc, lzfpc, adimc;
};

struct StatementFlows {
    double e1, e2, e3, e4, e5, et;
    double roimp, sdro, ssur, sif, bfcc, bfncc, spill, tci, sperc;
    int n;
};

StatementFlows state_the_model(const SacramentoParameters& q, Statement& x, double P, double E,
                               double dt) {
    StatementFlows r{};
    const double parea = 1.0 - q.pctim - q.adimp;

    // 1. Evapotranspiration.
    double e1 = E * x.uztwc / q.uztwm;
    double e2 = 0.0;
    if (e1 > x.uztwc) {
        // reading: the free water meets the rest of the demand only when the
        // tension water ran out.
        e1 = x.uztwc;
        e2 = E - e1;
        if (e2 > x.uzfwc)
            e2 = x.uzfwc;
    }
    x.uztwc = x.uztwc - e1;
    x.uzfwc = x.uzfwc - e2;
    if (x.uzfwc / q.uzfwm > x.uztwc / q.uztwm) {
        const double same = (x.uztwc + x.uzfwc) / (q.uztwm + q.uzfwm);
        x.uztwc = same * q.uztwm;
        x.uzfwc = same * q.uzfwm;
    }
    double e3 = (E - e1 - e2) * x.lztwc / (q.uztwm + q.lztwm);
    if (e3 > x.lztwc)
        e3 = x.lztwc;
    x.lztwc = x.lztwc - e3;
    const double saved = q.rserv * (q.lzfpm + q.lzfsm);
    const double whole =
        (x.lztwc + x.lzfpc + x.lzfsc - saved) / (q.lztwm + q.lzfpm + q.lzfsm - saved);
    if (x.lztwc / q.lztwm < whole) {
        double del = (whole - x.lztwc / q.lztwm) * q.lztwm;
        x.lztwc = x.lztwc + del;
        if (del <= x.lzfsc) {
            x.lzfsc = x.lzfsc - del;
        } else {
            del = del - x.lzfsc;
            x.lzfsc = 0.0;
            x.lzfpc = x.lzfpc - del;
        }
    }
    double e5 = e1 + (E - e1) * (x.adimc - e1 - x.uztwc) / (q.uztwm + q.lztwm);
    if (e5 > x.adimc)
        e5 = x.adimc;
    if (e5 < 0.0)  // reading: evaporation never draws water from the air
        e5 = 0.0;
    x.adimc = x.adimc - e5;
    e5 = e5 * q.adimp;

    // 2. Input.
    double twx = 0.0;
    if (P + x.uztwc > q.uztwm) {
        twx = P + x.uztwc - q.uztwm;
        x.uztwc = q.uztwm;
    } else {
        x.uztwc = x.uztwc + P;
    }
    x.adimc = x.adimc + P - twx;
    r.roimp = P * q.pctim;

    // 3. Increments.
    const int n = 1 + static_cast<int>(0.2 * (x.uzfwc + twx));
    const double dinc = dt / n;
    const double pinc = twx / n;
    const double duz = 1.0 - std::pow(1.0 - q.uzk, dinc);
    const double dlzp = 1.0 - std::pow(1.0 - q.lzpk, dinc);
    const double dlzs = 1.0 - std::pow(1.0 - q.lzsk, dinc);
    r.n = n;

    // 4. Each increment.
    double sbf = 0.0, ssur = 0.0, sif = 0.0, sdro = 0.0, spill = 0.0, sperc = 0.0;
    for (int i = 1; i <= n; ++i) {
        double rat = (x.adimc - x.uztwc) / q.lztwm;
        rat = std::max(0.0, std::min(1.0, rat));  // reading: at most the whole area
        double addro = pinc * rat * rat;

        double bf = x.lzfpc * dlzp;
        x.lzfpc = x.lzfpc - bf;
        if (x.lzfpc <= 1e-4) {
            bf = bf + x.lzfpc;
            x.lzfpc = 0.0;
        }
        sbf = sbf + bf;
        bf = x.lzfsc * dlzs;
        x.lzfsc = x.lzfsc - bf;
        if (x.lzfsc <= 1e-4) {
            bf = bf + x.lzfsc;
            x.lzfsc = 0.0;
        }
        sbf = sbf + bf;

        double defr = 1.0 - (x.lztwc + x.lzfpc + x.lzfsc) / (q.lztwm + q.lzfpm + q.lzfsm);
        if (defr < 0.0)
            defr = 0.0;
        double perc = (q.lzfpm * dlzp + q.lzfsm * dlzs) * (x.uzfwc / q.uzfwm) *
                      (1.0 + q.zperc * std::pow(defr, q.rexp));
        if (perc > x.uzfwc)
            perc = x.uzfwc;
        double room = q.lztwm + q.lzfpm + q.lzfsm - x.lztwc - x.lzfpc - x.lzfsc;
        if (room < 0.0)
            room = 0.0;
        if (perc > room)
            perc = room;
        x.uzfwc = x.uzfwc - perc;
        sperc = sperc + perc;

        const double del = x.uzfwc * duz;
        sif = sif + del;
        x.uzfwc = x.uzfwc - del;

        double percf = perc * q.pfree;
        const double perct = perc - percf;
        if (x.lztwc + perct <= q.lztwm) {
            x.lztwc = x.lztwc + perct;
        } else {
            percf = percf + (x.lztwc + perct - q.lztwm);
            x.lztwc = q.lztwm;
        }
        if (percf > 0.0) {
            const double hpl = q.lzfpm / (q.lzfpm + q.lzfsm);
            const double ratlp = x.lzfpc / q.lzfpm;
            const double ratls = x.lzfsc / q.lzfsm;
            double fracp = hpl;  // reading: both full, split by size
            if ((1.0 - ratlp) + (1.0 - ratls) > 0.0)
                fracp = hpl * 2.0 * (1.0 - ratlp) / ((1.0 - ratlp) + (1.0 - ratls));
            if (fracp > 1.0)
                fracp = 1.0;
            double percs = percf - percf * fracp;
            if (x.lzfsc + percs > q.lzfsm)
                percs = q.lzfsm - x.lzfsc;
            x.lzfsc = x.lzfsc + percs;
            x.lzfpc = x.lzfpc + (percf - percs);
            if (x.lzfpc > q.lzfpm) {
                double over = x.lzfpc - q.lzfpm;
                x.lzfpc = q.lzfpm;
                const double a = std::min(over, q.lztwm - x.lztwc);
                x.lztwc = x.lztwc + a;
                over = over - a;
                const double b = std::min(over, q.lzfsm - x.lzfsc);
                x.lzfsc = x.lzfsc + b;
                spill = spill + (over - b);
            }
        }

        double adsur = 0.0;
        if (pinc > 0.0) {
            if (x.uzfwc + pinc <= q.uzfwm) {
                x.uzfwc = x.uzfwc + pinc;
            } else {
                const double sur = x.uzfwc + pinc - q.uzfwm;
                x.uzfwc = q.uzfwm;
                ssur = ssur + sur * parea;
                adsur = sur * (1.0 - addro / pinc);
                ssur = ssur + adsur * q.adimp;
            }
        }
        x.adimc = x.adimc + pinc - addro - adsur;
        if (x.adimc > q.uztwm + q.lztwm) {
            addro = addro + x.adimc - (q.uztwm + q.lztwm);
            x.adimc = q.uztwm + q.lztwm;
        }
        sdro = sdro + addro * q.adimp;
    }

    // 5. Channel inflow and riparian evapotranspiration.
    const double tbf = sbf * parea;
    r.bfcc = tbf / (1.0 + q.side);
    r.bfncc = tbf - r.bfcc;
    r.sif = sif * parea;
    r.spill = spill * parea;
    r.ssur = ssur;
    r.sdro = sdro;
    r.sperc = sperc * parea;
    double tci = r.roimp + r.sdro + r.ssur + r.sif + r.bfcc + r.spill;
    double e4 = (E - e1 - e2 - e3) * q.riva;
    if (e4 > tci)
        e4 = tci;
    tci = tci - e4;
    r.tci = tci;
    r.e1 = e1 * parea;
    r.e2 = e2 * parea;
    r.e3 = e3 * parea;
    r.e4 = e4;
    r.e5 = e5;
    r.et = r.e1 + r.e2 + r.e3 + r.e4 + r.e5;
    return r;
}
// ---------------------------------------------------------------------------

SacramentoParameters typical_watershed() {
    SacramentoParameters p;
    p.uztwm = 50.0;
    p.uzfwm = 40.0;
    p.lztwm = 130.0;
    p.lzfsm = 25.0;
    p.lzfpm = 60.0;
    p.uzk = 0.3;
    p.lzsk = 0.05;
    p.lzpk = 0.01;
    p.pctim = 0.02;
    p.adimp = 0.1;
    p.riva = 0.01;
    p.zperc = 40.0;
    p.rexp = 2.0;
    p.pfree = 0.1;
    p.side = 0.2;
    p.rserv = 0.3;
    return p;
}

// A year of hours: storms of one to twelve hours from a fixed random
// sequence, some heavy enough to split the hour into many increments, and a
// demand that follows the sun (none at night, most at summer noon).
struct Hour {
    double p, e;
};

std::vector<Hour> synthetic_year() {
    std::vector<Hour> hours(24 * 365);
    std::uint32_t seed = 12345u;
    const auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    int storm_left = 0;
    double intensity = 0.0;
    for (std::size_t h = 0; h < hours.size(); ++h) {
        const double day = static_cast<double>(h) / 24.0;
        const int hour_of_day = static_cast<int>(h % 24);
        if (storm_left == 0 && next() < 0.012) {
            storm_left = 1 + static_cast<int>(next() * 12.0);
            intensity = 60.0 * next() * next();
        }
        if (storm_left > 0) {
            hours[h].p = intensity * (0.5 + next());
            --storm_left;
        }
        const double season = 0.35 + 0.25 * std::sin(2.0 * M_PI * (day - 100.0) / 365.0);
        const double sun = std::sin(M_PI * (hour_of_day - 6) / 12.0);
        hours[h].e = hour_of_day >= 6 && hour_of_day <= 18 ? season * sun : 0.0;
    }
    return hours;
}

TEST(Sacramento, FollowsTheIndependentStatementThroughAYear) {
    const SacramentoParameters par = typical_watershed();
    SacramentoStores lib{30.0, 10.0, 80.0, 10.0, 40.0, 60.0};
    Statement ref{30.0, 10.0, 80.0, 10.0, 40.0, 60.0};
    const double start = sacramento_storage(par, lib);
    double inputs = 0.0, outputs = 0.0, surface = 0.0;
    int split_hours = 0;
    const std::vector<Hour> year = synthetic_year();
    for (std::size_t h = 0; h < year.size(); ++h) {
        const SacramentoFlows f = sacramento_interval(par, lib, year[h].p, year[h].e, kHour);
        const StatementFlows r = state_the_model(par, ref, year[h].p, year[h].e, kHour);
        SCOPED_TRACE(testing::Message() << "hour " << h);
        const std::pair<double, double> pairs[] = {
            {lib.uztwc, ref.uztwc},         {lib.uzfwc, ref.uzfwc},    {lib.lztwc, ref.lztwc},
            {lib.lzfsc, ref.lzfsc},         {lib.lzfpc, ref.lzfpc},    {lib.adimc, ref.adimc},
            {f.et_upper_tension, r.e1},     {f.et_upper_free, r.e2},   {f.et_lower_tension, r.e3},
            {f.et_riparian, r.e4},          {f.et_impervious, r.e5},   {f.evapotranspiration, r.et},
            {f.impervious_runoff, r.roimp}, {f.direct_runoff, r.sdro}, {f.surface_runoff, r.ssur},
            {f.interflow, r.sif},           {f.baseflow, r.bfcc},      {f.deep_recharge, r.bfncc},
            {f.primary_overflow, r.spill},  {f.channel_inflow, r.tci}, {f.percolation, r.sperc},
        };
        for (std::size_t k = 0; k < std::size(pairs); ++k)
            ASSERT_NEAR(pairs[k].first, pairs[k].second, 1e-9) << "quantity " << k;
        ASSERT_EQ(f.increments, r.n);
        ASSERT_NEAR(f.residual, 0.0, 1e-9);
        inputs += f.input;
        outputs += f.evapotranspiration + f.channel_inflow + f.deep_recharge;
        surface += f.surface_runoff;
        split_hours += f.increments > 1;
    }
    // The year exercised the parts that matter: storms that split the hour and
    // ran off the surface.
    EXPECT_GT(split_hours, 50);
    EXPECT_GT(surface, 1.0);
    EXPECT_NEAR(start + inputs - outputs - sacramento_storage(par, lib), 0.0, 1e-9);
    for (double store : {lib.uztwc, lib.uzfwc, lib.lztwc, lib.lzfsc, lib.lzfpc, lib.adimc})
        EXPECT_GE(store, 0.0);
    EXPECT_LE(lib.lzfpc, par.lzfpm);
    EXPECT_LE(lib.lzfsc, par.lzfsm);
}

// With no input and no demand, a full lower tension water (so nothing refills
// it) and an empty upper free water (so nothing percolates), the free stores
// drain by their daily fractions: after ten days of hours 60 * 0.99^10 and
// 25 * 0.95^10 mm, and the baseflow leaves parea * (drained) / (1 + side) to
// the channel, the rest as deep recharge.
TEST(Sacramento, DrySpellDrainsTheFreeWaterAtItsDepletionRates) {
    SacramentoParameters par = typical_watershed();
    par.lzpk = 0.01;
    par.lzsk = 0.05;
    SacramentoStores s{20.0, 0.0, 130.0, 25.0, 60.0, 20.0};
    double channel = 0.0, deep = 0.0;
    for (int h = 0; h < 240; ++h) {
        const SacramentoFlows f = sacramento_interval(par, s, 0.0, 0.0, kHour);
        channel += f.channel_inflow;
        deep += f.deep_recharge;
    }
    const double primary = 60.0 * std::pow(0.99, 10);        // 54.2609...
    const double supplementary = 25.0 * std::pow(0.95, 10);  // 14.9685...
    EXPECT_NEAR(s.lzfpc, primary, 1e-9);
    EXPECT_NEAR(s.lzfsc, supplementary, 1e-9);
    const double drained = (60.0 - primary) + (25.0 - supplementary);
    const double parea = 1.0 - 0.02 - 0.1;
    EXPECT_NEAR(channel, drained * parea / 1.2, 1e-9);
    EXPECT_NEAR(deep, drained * parea * 0.2 / 1.2, 1e-9);
    EXPECT_DOUBLE_EQ(s.uztwc, 20.0);
    EXPECT_DOUBLE_EQ(s.lztwc, 130.0);
}

// A storm on a full upper zone over a full lower zone, on a wholly pervious
// watershed, in one hour of one increment (0.2 * (2 + 2.9) < 1): the lower
// free stores first drain by dlzp = 1 - 0.99^(1/24) and dlzs = 1 - 0.95^(1/24),
// and percolation (at least the demand of a full upper free store) fills
// exactly that room; the upper free water then loses its interflow
// duz = 1 - 0.7^(1/24) and takes the 2.9 mm, and what exceeds its 2 mm runs
// off: (2 - room)(1 - duz) + 2.9 - 2.
TEST(Sacramento, StormOnAFullUpperZoneRunsOffTheExcess) {
    SacramentoParameters par = typical_watershed();
    par.uzfwm = 2.0;
    par.pctim = 0.0;
    par.adimp = 0.0;
    par.riva = 0.0;
    SacramentoStores s{50.0, 2.0, 130.0, 25.0, 60.0, 0.0};
    const SacramentoFlows f = sacramento_interval(par, s, 2.9, 0.0, kHour);
    const double dlzp = 1.0 - std::pow(0.99, kHour);
    const double dlzs = 1.0 - std::pow(0.95, kHour);
    const double duz = 1.0 - std::pow(0.7, kHour);
    const double room = 60.0 * dlzp + 25.0 * dlzs;
    EXPECT_EQ(f.increments, 1);
    EXPECT_NEAR(f.percolation, room, 1e-12);
    EXPECT_NEAR(f.surface_runoff, (2.0 - room) * (1.0 - duz) + 0.9, 1e-12);
    EXPECT_NEAR(f.interflow, (2.0 - room) * duz, 1e-12);
    EXPECT_DOUBLE_EQ(s.uzfwc, 2.0);
    EXPECT_DOUBLE_EQ(s.uztwc, 50.0);

    // The same storm on an upper zone with room for it all runs nothing off.
    SacramentoStores dry{10.0, 0.0, 130.0, 25.0, 60.0, 0.0};
    EXPECT_EQ(sacramento_interval(par, dry, 2.9, 0.0, kHour).surface_runoff, 0.0);
    EXPECT_DOUBLE_EQ(dry.uztwc, 12.9);
}

// A watershed that is all permanently impervious passes every millimetre of
// input to the channel, whatever the demand (riparian vegetation aside), and
// its soil stores count for nothing.
TEST(Sacramento, WhollyImperviousWatershedPassesAllInputToTheChannel) {
    SacramentoParameters par = typical_watershed();
    par.pctim = 1.0;
    par.adimp = 0.0;
    par.riva = 0.0;
    for (const double demand : {0.0, 0.4}) {
        SacramentoStores s{30.0, 10.0, 80.0, 10.0, 40.0, 60.0};
        const SacramentoFlows f = sacramento_interval(par, s, 7.5, demand, kHour);
        EXPECT_DOUBLE_EQ(f.channel_inflow, 7.5);
        EXPECT_DOUBLE_EQ(f.evapotranspiration, 0.0);
        EXPECT_DOUBLE_EQ(f.deep_recharge, 0.0);
        EXPECT_DOUBLE_EQ(f.residual, 0.0);
    }
}

}  // namespace
}  // namespace torva
