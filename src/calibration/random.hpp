#pragma once
// The calibration's random numbers: the minimal standard generator (multiplier
// 16807, modulus 2^31 - 1) behind a 32-entry shuffle table, with uniform draws
// in (0, 1) and normal deviates by the polar method.

#include <array>
#include <cstdint>

namespace torva {

// One step of the minimal standard generator, computed without overflow by
// Schrage's factorisation of the modulus.
std::int32_t minimal_standard_next(std::int32_t state);

class SearchRandom {
  public:
    // A seed of 0 becomes 3737 and a negative seed is made positive; the
    // generator starts from the state -seed, which fills the shuffle table.
    explicit SearchRandom(int seed = 3737);

    // A uniform draw in (0, 1), never above 0.99999988.
    double uniform();
    // A normal deviate of mean 0 and variance 1; every second call returns the
    // partner kept from the call before.
    double normal();

    std::int32_t state() const { return state_; }
    const std::array<std::int32_t, 32>& table() const { return table_; }

    static int normalised_seed(int seed);

  private:
    void reseed();

    std::int32_t state_ = 0;
    std::int32_t last_ = 0;  // the table value handed out last; it picks the next slot
    std::array<std::int32_t, 32> table_{};
    bool has_spare_ = false;
    double spare_ = 0.0;
};

}  // namespace torva
