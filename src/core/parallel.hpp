#pragma once
// When a loop over cells is worth the threads, and sums over cells that do not
// depend on how the threads split the cells.

#include <algorithm>
#include <array>

namespace torva {

// Below this many cells a cell loop runs on one thread: waking the others and
// waiting for them at the loop's end costs more than they save, and on a busy
// machine far more. Each cell's result is the same either way.
inline constexpr int kMinParallelCells = 4096;

// Sums over cells are taken block by block: the cells are cut into this many
// blocks whatever the thread count, each block adds its cells in order, and
// the blocks' sums are added in block order. Floating-point addition is not
// associative, so a sum that followed the threads' share of the cells would
// change in its last digits with the thread count; these do not.
inline constexpr int kSumBlocks = 64;

// The cells [begin, end) of block `b` of the cells first..last.
struct CellBlock {
    int begin;
    int end;
};

inline CellBlock cell_block(int first, int last, int b) {
    const long long count = static_cast<long long>(last) - first + 1;
    if (count <= 0)
        return {first, first};
    return {first + static_cast<int>(count * b / kSumBlocks),
            first + static_cast<int>(count * (b + 1) / kSumBlocks)};
}

// Per-block sums of K quantities.
template <int K>
struct CellSums {
    std::array<double, K> value{};
    double& operator[](int k) { return value[k]; }
    double operator[](int k) const { return value[k]; }
    CellSums& operator+=(const CellSums& other) {
        for (int k = 0; k < K; ++k) value[k] += other.value[k];
        return *this;
    }
};

// The block sums added in block order.
inline double sum_in_order(const std::array<double, kSumBlocks>& blocks) {
    double total = 0.0;
    for (double b : blocks) total += b;
    return total;
}

// Runs body(i, sums) for every cell i of first..last, on several threads when
// `parallel`, and returns the sums of the blocks added in block order. `Sums`
// is default-constructible to its empty value and has +=; each call of the
// body writes only its own cell's data.
template <class Sums, class Body>
Sums ordered_cell_sums(int first, int last, bool parallel, Body&& body) {
    std::array<Sums, kSumBlocks> partial{};
#pragma omp parallel for schedule(static) if (parallel)
    for (int b = 0; b < kSumBlocks; ++b) {
        const CellBlock block = cell_block(first, last, b);
        Sums sums{};
        for (int i = block.begin; i < block.end; ++i) body(i, sums);
        partial[b] = sums;
    }
    Sums total{};
    for (const Sums& p : partial) total += p;
    return total;
}

}  // namespace torva
