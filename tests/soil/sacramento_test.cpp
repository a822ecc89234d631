// Sacramento soil moisture accounting over single intervals: a synthetic year
// of hourly input and demand gives the figures it was checked to give, with the
// balance closed every hour and no evaporation below zero; and cases worked
// by hand (the lower zone draining and refilling its tension water, an empty
// additional impervious store, a storm on a full upper zone, a wholly
// impervious watershed).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "soil/sacramento.hpp"

namespace torva {
namespace {

constexpr double kHour = 1.0 / 24.0;

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

// The year's figures as the accounting gave them when it was checked, hour by
// hour, against a second statement of the model written out step by step from
// its description (1e-9 mm at every hour, every store and flow): the final
// stores, the sum of each flow over the year, and the increments the hours
// were split into. Any change to a step of the accounting moves them.
TEST(Sacramento, AYearOfHoursGivesItsRecordedFiguresAndBalances) {
    const SacramentoParameters par = typical_watershed();
    SacramentoStores s{30.0, 10.0, 80.0, 10.0, 40.0, 60.0};
    const double start = sacramento_storage(par, s);
    SacramentoFlows sum;
    int split_hours = 0;
    for (const Hour& hour : synthetic_year()) {
        const SacramentoFlows f = sacramento_interval(par, s, hour.p, hour.e, kHour);
        ASSERT_NEAR(f.residual, 0.0, 1e-9);
        // No store takes water from the air, not even by a rounding.
        for (const double e : {f.et_upper_tension, f.et_upper_free, f.et_lower_tension,
                               f.et_riparian, f.et_impervious})
            ASSERT_GE(e, 0.0);
        for (double SacramentoFlows::*flow :
             {&SacramentoFlows::input, &SacramentoFlows::et_upper_tension,
              &SacramentoFlows::et_upper_free, &SacramentoFlows::et_lower_tension,
              &SacramentoFlows::et_riparian, &SacramentoFlows::et_impervious,
              &SacramentoFlows::evapotranspiration, &SacramentoFlows::impervious_runoff,
              &SacramentoFlows::direct_runoff, &SacramentoFlows::surface_runoff,
              &SacramentoFlows::interflow, &SacramentoFlows::baseflow,
              &SacramentoFlows::primary_overflow, &SacramentoFlows::channel_inflow,
              &SacramentoFlows::deep_recharge, &SacramentoFlows::percolation})
            sum.*flow += f.*flow;
        sum.increments += f.increments;
        split_hours += f.increments > 1;
    }
    const std::pair<double, double> figures[] = {
        {s.uztwc, 46.1729545521411},
        {s.uzfwc, 2.09109608098735},
        {s.lztwc, 130.0},
        {s.lzfsc, 10.3696939579697},
        {s.lzfpc, 44.260115531568},
        {s.adimc, 175.634135995717},
        {sum.et_upper_tension, 627.174986481414},
        {sum.et_upper_free, 0.0},
        {sum.et_lower_tension, 140.620878369766},
        {sum.et_riparian, 0.9786228693339},
        {sum.et_impervious, 86.308642119718},
        {sum.impervious_runoff, 165.928995261808},
        {sum.direct_runoff, 690.799368691561},
        {sum.surface_runoff, 4832.80805433817},
        {sum.interflow, 1419.63258144976},
        {sum.baseflow, 221.888538225574},
        {sum.primary_overflow, 0.0},
        {sum.channel_inflow, 7330.07891509753},
        {sum.deep_recharge, 44.3777076451147},
        {sum.percolation, 454.961356591248},
    };
    for (std::size_t k = 0; k < std::size(figures); ++k)
        EXPECT_NEAR(figures[k].first, figures[k].second, 1e-9 * (1.0 + figures[k].second))
            << "figure " << k;
    // Storms split many hours into increments and ran off the surface.
    EXPECT_EQ(sum.increments, 28390);
    EXPECT_EQ(split_hours, 5426);
    EXPECT_NEAR(start + sum.input - sum.evapotranspiration - sum.channel_inflow -
                    sum.deep_recharge - sacramento_storage(par, s),
                0.0, 1e-9);
}

// With no input and no demand and an empty upper free water (so nothing
// percolates), the lower zone drains and refills its tension water:
// - over ten days of hours from a full lower tension water (so nothing refills
//   it), the free stores drain by their daily fractions to 60 * 0.99^10 and
//   25 * 0.95^10 mm;
// - a supplementary store of 0.00005 mm, below the 0.0001 mm at which a free
//   store drains completely, is gone after an hour;
// - from 30 mm of lower tension water, the free water beyond the reserve
//   0.3 * (60 + 25) = 25.5 mm refills it to the fullness of the lower zone as
//   a whole, (30 + 25 + 60 - 25.5) / (130 + 85 - 25.5) = 89.5 / 189.5, taking
//   the supplementary store first: the primary store keeps 115 - 130 * 89.5 /
//   189.5 mm, of which it drains the hour's share.
// Baseflow leaves parea * (the water the lower zone lost) / (1 + side) to the
// channel, the rest as deep recharge.
TEST(Sacramento, WithoutInputOrDemandTheLowerZoneDrainsAndRefillsItsTensionWater) {
    const SacramentoParameters par = typical_watershed();
    const double full_zone = 130.0 * 89.5 / 189.5;
    const struct {
        double lztwc, lzfsc;  // mm at the start
        int hours;
        double tension, supplementary, primary;  // mm at the end
    } cases[] = {
        {130.0, 25.0, 240, 130.0, 25.0 * std::pow(0.95, 10), 60.0 * std::pow(0.99, 10)},
        {130.0, 5e-5, 1, 130.0, 0.0, 60.0 * std::pow(0.99, kHour)},
        {30.0, 25.0, 1, full_zone, 0.0, (115.0 - full_zone) * std::pow(0.99, kHour)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lztwc + c.lzfsc);
        SacramentoStores s{20.0, 0.0, c.lztwc, c.lzfsc, 60.0, 20.0};
        double channel = 0.0, deep = 0.0;
        for (int h = 0; h < c.hours; ++h) {
            const SacramentoFlows f = sacramento_interval(par, s, 0.0, 0.0, kHour);
            channel += f.channel_inflow;
            deep += f.deep_recharge;
        }
        EXPECT_NEAR(s.lztwc, c.tension, 1e-9);
        EXPECT_NEAR(s.lzfsc, c.supplementary, 1e-12);
        EXPECT_NEAR(s.lzfpc, c.primary, 1e-9);
        const double lost = c.lztwc + c.lzfsc + 60.0 - (c.tension + c.supplementary + c.primary);
        const double parea = 1.0 - 0.02 - 0.1;
        EXPECT_NEAR(channel, lost * parea / 1.2, 1e-9);
        EXPECT_NEAR(deep, lost * parea * 0.2 / 1.2, 1e-9);
        EXPECT_DOUBLE_EQ(s.uztwc, 20.0);
    }
}

// Upper free water fuller than the empty upper tension water tops it up until
// both are equally full, 4 / 90 (to 50 * 4 / 90 mm); an empty additional
// impervious store under it would then evaporate 0.9 * (0 - 2.2) / 180 mm,
// water from the air: it evaporates nothing.
TEST(Sacramento, AnEmptyAdditionalImperviousStoreEvaporatesNothing) {
    SacramentoStores s{0.0, 4.0, 0.0, 0.0, 0.0, 0.0};
    const SacramentoFlows f = sacramento_interval(typical_watershed(), s, 0.0, 0.9, kHour);
    EXPECT_NEAR(s.uztwc, 50.0 * 4.0 / 90.0, 1e-12);
    EXPECT_EQ(f.et_impervious, 0.0);
    EXPECT_EQ(s.adimc, 0.0);
}

// A storm on a full upper zone over a full lower zone, on a wholly pervious
// watershed, in one hour of one increment (0.2 * (2 + 2.9) < 1): the lower
// free stores first drain by dlzp = 1 - 0.95^(1/24) and dlzs = 1 - 0.99^(1/24),
// and percolation (at least the demand of a full upper free store) fills
// exactly that room, every lower store full again: the primary store, the
// emptier, takes all of it and passes what it cannot hold on to the
// supplementary store. The upper free water then loses its interflow
// duz = 1 - 0.7^(1/24) and takes the 2.9 mm, and what exceeds its 2 mm runs
// off: (2 - room)(1 - duz) + 2.9 - 2.
TEST(Sacramento, StormOnAFullUpperZoneRunsOffTheExcess) {
    SacramentoParameters par = typical_watershed();
    par.uzfwm = 2.0;
    par.lzpk = 0.05;
    par.lzsk = 0.01;
    par.pctim = 0.0;
    par.adimp = 0.0;
    par.riva = 0.0;
    SacramentoStores s{50.0, 2.0, 130.0, 25.0, 60.0, 0.0};
    const SacramentoFlows f = sacramento_interval(par, s, 2.9, 0.0, kHour);
    const double dlzp = 1.0 - std::pow(0.95, kHour);
    const double dlzs = 1.0 - std::pow(0.99, kHour);
    const double duz = 1.0 - std::pow(0.7, kHour);
    const double room = 60.0 * dlzp + 25.0 * dlzs;
    EXPECT_EQ(f.increments, 1);
    EXPECT_NEAR(f.percolation, room, 1e-12);
    EXPECT_NEAR(f.surface_runoff, (2.0 - room) * (1.0 - duz) + 0.9, 1e-12);
    EXPECT_NEAR(f.interflow, (2.0 - room) * duz, 1e-12);
    EXPECT_DOUBLE_EQ(s.uzfwc, 2.0);
    EXPECT_DOUBLE_EQ(s.uztwc, 50.0);
    EXPECT_DOUBLE_EQ(s.lztwc, 130.0);
    EXPECT_NEAR(s.lzfsc, 25.0, 1e-12);
    EXPECT_NEAR(s.lzfpc, 60.0, 1e-12);
    EXPECT_NEAR(f.primary_overflow, 0.0, 1e-12);

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
