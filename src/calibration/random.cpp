#include "calibration/random.hpp"

#include <cmath>
#include <cstdlib>

namespace torva {
namespace {

constexpr std::int32_t kMultiplier = 16807;
constexpr std::int32_t kModulus = 2147483647;
constexpr std::int32_t kQuotient = 127773;  // kModulus / kMultiplier
constexpr std::int32_t kRemainder = 2836;   // kModulus % kMultiplier
constexpr int kTableSize = 32;
constexpr std::int32_t kDivisor = 1 + (kModulus - 1) / kTableSize;
constexpr double kScale = 4.656612875245797e-10;  // 1 / kModulus
constexpr double kLargestDraw = 0.99999988;

}  // namespace

std::int32_t minimal_standard_next(std::int32_t state) {
    const std::int32_t k = state / kQuotient;
    std::int32_t next = kMultiplier * (state - k * kQuotient) - kRemainder * k;
    if (next < 0)
        next += kModulus;
    return next;
}

int SearchRandom::normalised_seed(int seed) {
    if (seed == 0)
        return 3737;
    return seed < 0 ? -seed : seed;
}

SearchRandom::SearchRandom(int seed) : state_(-normalised_seed(seed)) {
    reseed();
}

// A state at or below zero starts the table afresh: the state becomes the
// larger of its magnitude and 1, eight draws warm the generator up and the
// next 32 fill the table, the last of them filling its first slot.
void SearchRandom::reseed() {
    state_ = state_ < -1 ? -state_ : 1;
    for (int j = kTableSize + 7; j >= 0; --j) {
        state_ = minimal_standard_next(state_);
        if (j < kTableSize)
            table_[j] = state_;
    }
    last_ = table_[0];
}

double SearchRandom::uniform() {
    if (state_ <= 0)
        reseed();
    state_ = minimal_standard_next(state_);
    const int slot = last_ / kDivisor;
    last_ = table_[slot];
    table_[slot] = state_;
    const double draw = kScale * last_;
    return draw > kLargestDraw ? kLargestDraw : draw;
}

double SearchRandom::normal() {
    if (has_spare_) {
        has_spare_ = false;
        return spare_;
    }
    double a = 0.0, b = 0.0, s = 0.0;
    do {
        a = 2.0 * uniform() - 1.0;
        b = 2.0 * uniform() - 1.0;
        s = a * a + b * b;
    } while (s >= 1.0 || s == 0.0);
    const double f = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = a * f;
    has_spare_ = true;
    return b * f;
}

}  // namespace torva
