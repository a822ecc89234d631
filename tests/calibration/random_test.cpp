// The calibration's random generator: its minimal standard core, the shuffle
// table it starts from, and the normal deviates drawn from it.

#include <gtest/gtest.h>

#include "calibration/random.hpp"

namespace torva {
namespace {

std::int32_t steps_from(std::int32_t state, int steps) {
    for (int i = 0; i < steps; ++i) state = minimal_standard_next(state);
    return state;
}

// The published check of the minimal standard generator.
TEST(SearchRandom, MinimalStandardReachesThePublishedTenThousandthState) {
    EXPECT_EQ(steps_from(1, 10000), 1043618065);
}

// Seeding draws eight warm-up states and keeps the next 32 in the table, the
// last one in slot 0; the first draw then hands out the slot that the last
// state picks (its value divided by 2^26) and the 41st state takes its place.
TEST(SearchRandom, SeedingFillsTheShuffleTableFromTheStatesNineToForty) {
    const SearchRandom seeded(-5);  // a negative seed is made positive
    for (int j = 0; j < 32; ++j) EXPECT_EQ(seeded.table()[j], steps_from(5, 40 - j)) << j;

    SearchRandom random(5);
    const int slot = steps_from(5, 40) / 67108864;
    const double expected = steps_from(5, 40 - slot) * 4.656612875245797e-10;
    EXPECT_DOUBLE_EQ(random.uniform(), expected);
    EXPECT_EQ(random.table()[slot], steps_from(5, 41));
    EXPECT_EQ(random.state(), steps_from(5, 41));
}

TEST(SearchRandom, ZeroSeedStartsLikeTheDefaultSeed) {
    SearchRandom zero(0), fallback(3737);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(zero.uniform(), fallback.uniform());
}

// Over a million deviates the sample mean has a standard error of 0.001 and
// the sample variance one of about 0.0014; five standard errors bound both.
TEST(SearchRandom, NormalDeviatesHaveMeanZeroAndVarianceOne) {
    SearchRandom random(12345);
    constexpr int n = 1000000;
    double sum = 0.0, squares = 0.0;
    for (int i = 0; i < n; ++i) {
        const double z = random.normal();
        sum += z;
        squares += z * z;
    }
    const double mean = sum / n;
    const double variance = squares / n - mean * mean;
    EXPECT_NEAR(mean, 0.0, 0.005);
    EXPECT_NEAR(variance, 1.0, 0.007);
}

}  // namespace
}  // namespace torva
