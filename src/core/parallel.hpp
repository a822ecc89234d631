#pragma once
// When a loop over cells is worth the threads, and sums over cells that do not
// depend on how the threads split the cells.

#include <omp.h>

#include <algorithm>
#include <array>

#include "core/row_spans.hpp"

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

// As ordered_cell_sums, but over the cells of `spans` only (every cell when
// the spans are not known): the cells outside them must be those on which
// the body would change nothing and add nothing to the sums. The blocks are
// the same as over every cell and each adds its cells in order, so the sums
// are those of a loop over every cell, to the last digit. `row_begin` holds
// the first cell of each row (rows + 2 entries, the last N + 1). The blocks
// go to the threads by the cells of the spans they hold, so a storm on one
// corner of the grid still shares its work.
template <class Sums, class Body>
Sums ordered_span_sums(const RowSpans& spans, const std::vector<int>& row_begin, int first,
                       int last, bool parallel, Body&& body) {
    const int rows = static_cast<int>(row_begin.size()) - 2;
    if (!spans.known || spans.rows() != rows || rows < 1)
        return ordered_cell_sums<Sums>(first, last, parallel, body);
    const int* row = row_begin.data();
    std::array<int, kSumBlocks> first_row{};
    std::array<long long, kSumBlocks + 1> cells_before{};
    int r = 1;
    for (int b = 0; b < kSumBlocks; ++b) {
        const CellBlock block = cell_block(first, last, b);
        while (r < rows && row[r + 1] <= block.begin) ++r;
        first_row[b] = r;
        long long cells = 0;
        for (int q = r; q <= rows && row[q] < block.end; ++q)
            cells += std::max(
                0, std::min(spans.end[q], block.end) - std::max(spans.begin[q], block.begin));
        cells_before[b + 1] = cells_before[b] + cells;
    }
    const long long total = cells_before[kSumBlocks];
    std::array<Sums, kSumBlocks> partial{};
#pragma omp parallel if (parallel && total > 0)
    {
        const long long threads = omp_get_num_threads();
        const int me = omp_get_thread_num();
        for (int b = 0; b < kSumBlocks; ++b) {
            // A block goes to the thread in whose share of the span cells it starts.
            const int owner = static_cast<int>(
                total > 0 ? std::min(threads - 1, cells_before[b] * threads / total) : 0);
            if (owner != me || cells_before[b + 1] == cells_before[b])
                continue;
            const CellBlock block = cell_block(first, last, b);
            Sums sums{};
            for (int q = first_row[b]; q <= rows && row[q] < block.end; ++q) {
                const int to = std::min(spans.end[q], block.end);
                for (int i = std::max(spans.begin[q], block.begin); i < to; ++i) body(i, sums);
            }
            partial[b] = sums;
        }
    }
    Sums total_sums{};
    for (const Sums& p : partial) total_sums += p;
    return total_sums;
}

}  // namespace torva
