#pragma once
// Cells by rows of the grid. Cells are numbered row by row, so the cells of
// a row are one range of numbers and so is any stretch of a row: a set of
// cells kept as one range [begin, end) per row costs two numbers a row, and
// a loop over it reads only the cells it holds.

#include <algorithm>
#include <vector>

namespace torva {

struct RowSpans {
    // Per row 1..rows (rows + 2 entries); an empty span has end <= begin.
    std::vector<int> begin;
    std::vector<int> end;
    // False: the spans say nothing, and the set is every cell.
    bool known = false;

    int rows() const { return static_cast<int>(begin.size()) - 2; }
    void size_for(int rows) {
        begin.resize(static_cast<std::size_t>(rows) + 2);
        end.resize(static_cast<std::size_t>(rows) + 2);
    }
    void clear() {
        std::fill(begin.begin(), begin.end(), 0);
        std::fill(end.begin(), end.end(), 0);
        known = true;
    }
};

// Each span of `into` grows to the smallest range that holds it and the span
// of `other` in the same row; every cell of either set is then in `into`.
// An unknown set makes the result unknown.
inline void widen_spans(RowSpans& into, const RowSpans& other) {
    if (!other.known || other.rows() != into.rows()) {
        into.known = false;
        return;
    }
    for (int r = 1; r <= into.rows(); ++r) {
        if (other.end[r] <= other.begin[r])
            continue;
        if (into.end[r] <= into.begin[r]) {
            into.begin[r] = other.begin[r];
            into.end[r] = other.end[r];
            continue;
        }
        into.begin[r] = std::min(into.begin[r], other.begin[r]);
        into.end[r] = std::max(into.end[r], other.end[r]);
    }
}

// `into` becomes a copy of `from` without allocating once sized.
inline void copy_spans(RowSpans& into, const RowSpans& from) {
    into.size_for(from.rows());
    std::copy(from.begin.begin(), from.begin.end(), into.begin.begin());
    std::copy(from.end.begin(), from.end.end(), into.end.begin());
    into.known = from.known;
}

}  // namespace torva
