#pragma once
// x^a for the soil-water relations of the Richards columns, as 2^(a log2 x)
// written out in plain arithmetic: a table of 128 cells and a short
// polynomial for the logarithm, the same for the power of two. Evaluated in
// line it spares the columns the library's two calls, and since it asks the
// processor for nothing but additions and multiplications (no fused
// multiply-add, which the library takes where the processor has it), every
// machine gives the same results to the last digit. For a positive normal x
// below 2^1000 and |a log2 x| below 1000 it is within a few units of the
// last place of x^a, as close as the library's exp(a log x); otherwise it is
// that expression.

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>

namespace torva {
namespace power_detail {

constexpr int kCellBits = 7;
constexpr int kCells = 1 << kCellBits;

struct Tables {
    std::array<double, kCells> exp2;     // 2^(j / 128)
    std::array<double, kCells> inverse;  // 1 / c_j, the centre of cell j (see log2_of_normal)
    std::array<double, kCells> log2;     // log2 c_j
};

// The logarithm's cells: a positive x is 2^k z with z in [0.6875, 1.375),
// and z lies in one of 128 cells, 1/128 wide above 1 and 1/256 below, the
// cell j starting at the double whose bits are kFirstCell + (j << 45).
// Numbers near 1 thus take k = 0 and a centre near 1, whose logarithm is
// small: log2 x keeps its accuracy where it is small itself.
constexpr std::uint64_t kFirstCell = 0x3fe6000000000000;  // 0.6875
constexpr std::uint64_t kHalfCell = std::uint64_t{1} << (51 - kCellBits);

inline constexpr auto make_tables = [] {
    Tables t{};
    for (int j = 0; j < kCells; ++j) {
        const double centre = std::bit_cast<double>(
            (kFirstCell + (static_cast<std::uint64_t>(j) << (52 - kCellBits))) | kHalfCell);
        t.exp2[j] = std::exp2(static_cast<double>(j) / kCells);
        t.inverse[j] = 1.0 / centre;
        t.log2[j] = std::log2(centre);
    }
    return t;
};

// Worked out by the compiler, whose exp2 and log2 are rounded correctly, so
// the tables are the same on every machine. Clang (the fuzzing build) cannot
// evaluate them while compiling and fills them from the library at start-up.
#if defined(__clang__)
inline const Tables kTables = make_tables();
#else
inline constexpr Tables kTables = make_tables();
#endif

inline std::uint64_t bits_of(double x) {
    return std::bit_cast<std::uint64_t>(x);
}
inline double from_bits(std::uint64_t b) {
    return std::bit_cast<double>(b);
}

// log2 x of a positive normal x = 2^k z: with c the centre of z's cell
// (|z - c| <= c / 256, and z - c is exact), log2 x = k + log2 c +
// log2(1 + r), r = (z - c) / c, the last by its series to r^6 (the next
// term is below 4e-18); the series' terms are taken in pairs, which shortens
// the chain of dependent operations.
inline double log2_of_normal(double x) {
    constexpr std::uint64_t kCell = (std::uint64_t{1} << (52 - kCellBits)) - 1;
    constexpr std::uint64_t kExponent = std::uint64_t{0xfff} << 52;
    // (-1)^(k+1) / (k log 2)
    constexpr double l1 = 0x1.71547652b82fep+0, l2 = -0x1.71547652b82fep-1,
                     l3 = 0x1.ec709dc3a03fdp-2, l4 = -0x1.71547652b82fep-2,
                     l5 = 0x1.2776c50ef9bfep-2, l6 = -0x1.ec709dc3a03fdp-3;
    const auto bits = bits_of(x);
    const auto from_first = bits - kFirstCell;
    const auto k = static_cast<int>(static_cast<std::int64_t>(from_first) >> 52);
    const auto j = (from_first >> (52 - kCellBits)) & (kCells - 1);
    const auto z_bits = bits - (from_first & kExponent);
    const double z = from_bits(z_bits);
    const double c = from_bits((z_bits & ~kCell) | kHalfCell);
    const double r = (z - c) * kTables.inverse[j];
    const double r2 = r * r;
    const double series = r * ((l1 + r * l2) + r2 * ((l3 + r * l4) + r2 * (l5 + r * l6)));
    return (k + kTables.log2[j]) + series;
}

// 2^y for |y| < 1000: y = k / 128 + r, |r| <= 1/256 (k / 128 and r exact),
// and 2^y = 2^(k >> 7) 2^((k & 127) / 128) 2^r, the last by its series to
// r^5 (the next term is below 4e-19), its terms taken in pairs as above.
inline double exp2_within_range(double y) {
    // Adding it to a double below 2^51 rounds it to the nearest integer,
    // whose two's complement then stands in the low bits.
    constexpr double kRound = 0x1.8p52;
    // (log 2)^k / k!
    constexpr double e1 = 0x1.62e42fefa39efp-1, e2 = 0x1.ebfbdff82c58fp-3,
                     e3 = 0x1.c6b08d704a0c0p-5, e4 = 0x1.3b2ab6fba4e77p-7,
                     e5 = 0x1.5d87fe78a6731p-10;
    const double shifted = y * kCells + kRound;
    const double kd = shifted - kRound;
    const auto k = bits_of(shifted) - bits_of(kRound);  // two's complement
    const double r = y - kd * (1.0 / kCells);
    const double r2 = r * r;
    const double series = r * ((e1 + r * e2) + r2 * ((e3 + r * e4) + r2 * e5));
    // 2^(k >> 7) multiplies by adding k >> 7 to the exponent.
    const double scale = from_bits(bits_of(kTables.exp2[k & (kCells - 1)]) +
                                   ((k & ~std::uint64_t{kCells - 1}) << (52 - kCellBits)));
    return scale + scale * series;
}

// The positive normal numbers below 2^1000 (not a number is not among them).
constexpr double kSmallest = 0x1p-1022, kBeyond = 0x1p1000;
constexpr double kLargestPower = 1000.0;  // |log2 x^a|

}  // namespace power_detail

// x^a, as 2^(a log2 x).
inline double power(double x, double a) {
    using namespace power_detail;
    if (x >= kSmallest && x < kBeyond) [[likely]] {
        const double y = a * log2_of_normal(x);
        if (std::fabs(y) < kLargestPower) [[likely]]
            return exp2_within_range(y);
    }
    return std::exp(a * std::log(x));
}

}  // namespace torva
