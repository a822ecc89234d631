// The wet spans of the ADE scheme: on each row, the cells where water can
// move in the coming model step. A cell moves water only when it or a
// neighbour holds water above its retention, and in one sweep water crosses
// one face at most, so the cells within one row and one column of such a cell
// hold every face that can carry water in the two sweeps of a step.

#include <omp.h>

#if defined(__x86_64__) && defined(__GNUC__)
// GCC 12 takes the 512-bit intrinsics' undefined inputs for uninitialised
// values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <climits>
#include <cmath>

#include "core/model_state.hpp"
#include "surface/overland.hpp"

namespace torva {
namespace {

// What the scan of one row finds among cells [from, to): the first and last
// cell above its retention and the first and last whose depth is not 0
// (-1 for none), the cells wetter than 1e-16 m, and the first cell whose
// depth is not a real number (INT_MAX for none).
struct RowFound {
    int active_first = -1, active_last = -1;
    int water_first = -1, water_last = -1;
    int wet = 0;
    int first_bad = INT_MAX;
};

// Widens the span [first, last] found so far by the set lanes of a batch
// whose first lane is cell i (first stays -1 until a lane is set; lanes is
// never 0 here).
inline void widen_span(int i, unsigned lanes, int& first, int& last) {
    if (first < 0)
        first = i + __builtin_ctz(lanes);
    last = i + 31 - __builtin_clz(lanes);
}

// Cell by cell. Most cells of a grid between storms are dry: one test of the
// depth passes them, and retention (never negative) is read only under water.
void scan_row_cells(const double* depth, const double* retention, int from, int to, RowFound& f) {
    for (int i = from; i < to; ++i) {
        const double h = depth[i];
        if (!(h > 0.0)) {
            if (h == 0.0)
                continue;
            if (f.water_first < 0)
                f.water_first = i;
            f.water_last = i;
            if (std::isnan(h) || std::isinf(h))
                f.first_bad = std::min(f.first_bad, i);
            continue;
        }
        if (f.water_first < 0)
            f.water_first = i;
        f.water_last = i;
        if (std::isinf(h)) {
            f.first_bad = std::min(f.first_bad, i);
            continue;
        }
        if (h > 1e-16)
            ++f.wet;
        if (h > retention[i]) {
            if (f.active_first < 0)
                f.active_first = i;
            f.active_last = i;
        }
    }
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same four cells at a time in 256-bit lanes, a run of dry cells passed
// with one test of the four; the tests of each cell are those of
// `scan_row_cells`, so the findings are the same.
__attribute__((target("avx2,popcnt,bmi,lzcnt"))) void scan_row_avx2(const double* depth,
                                                                    const double* retention,
                                                                    int from, int to, RowFound& f) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d thin = _mm256_set1_pd(1e-16);
    const __m256d inf = _mm256_set1_pd(INFINITY);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    int i = from;
    for (; i + 4 <= to; i += 4) {
        const __m256d h = _mm256_loadu_pd(depth + i);
        // Not 0, a number or not.
        const int water = _mm256_movemask_pd(_mm256_cmp_pd(h, zero, _CMP_NEQ_UQ));
        if (water == 0)
            continue;
        widen_span(i, static_cast<unsigned>(water), f.water_first, f.water_last);
        // Not a number, or infinite.
        const __m256d bad_lanes = _mm256_cmp_pd(_mm256_and_pd(h, magnitude), inf, _CMP_NLT_UQ);
        const int bad = _mm256_movemask_pd(bad_lanes);
        if (bad != 0)
            f.first_bad = std::min(f.first_bad, i + __builtin_ctz(bad));
        const __m256d wet_lanes = _mm256_andnot_pd(bad_lanes, _mm256_cmp_pd(h, thin, _CMP_GT_OQ));
        f.wet += __builtin_popcount(_mm256_movemask_pd(wet_lanes));
        const __m256d above =
            _mm256_and_pd(_mm256_cmp_pd(h, zero, _CMP_GT_OQ),
                          _mm256_cmp_pd(h, _mm256_loadu_pd(retention + i), _CMP_GT_OQ));
        const int active = _mm256_movemask_pd(_mm256_andnot_pd(bad_lanes, above));
        if (active == 0)
            continue;
        widen_span(i, static_cast<unsigned>(active), f.active_first, f.active_last);
    }
    scan_row_cells(depth, retention, i, to, f);
}

// Eight cells at a time in 512-bit lanes, where the processor has them.
__attribute__((target("avx512f,popcnt,bmi,lzcnt"))) void scan_row_avx512(const double* depth,
                                                                         const double* retention,
                                                                         int from, int to,
                                                                         RowFound& f) {
    const __m512d zero = _mm512_setzero_pd();
    const __m512d thin = _mm512_set1_pd(1e-16);
    const __m512d inf = _mm512_set1_pd(INFINITY);
    int i = from;
    for (; i + 8 <= to; i += 8) {
        const __m512d h = _mm512_loadu_pd(depth + i);
        const unsigned water = _mm512_cmp_pd_mask(h, zero, _CMP_NEQ_UQ);
        if (water == 0)
            continue;
        widen_span(i, static_cast<unsigned>(water), f.water_first, f.water_last);
        const __mmask8 bad = _mm512_cmp_pd_mask(_mm512_abs_pd(h), inf, _CMP_NLT_UQ);
        if (bad != 0)
            f.first_bad = std::min(f.first_bad, i + __builtin_ctz(bad));
        f.wet += __builtin_popcount(
            static_cast<unsigned>(_mm512_mask_cmp_pd_mask(~bad, h, thin, _CMP_GT_OQ)));
        const unsigned active = _mm512_mask_cmp_pd_mask(
            static_cast<__mmask8>(~bad & _mm512_cmp_pd_mask(h, zero, _CMP_GT_OQ)), h,
            _mm512_loadu_pd(retention + i), _CMP_GT_OQ);
        if (active == 0)
            continue;
        widen_span(i, static_cast<unsigned>(active), f.active_first, f.active_last);
    }
    scan_row_avx2(depth, retention, i, to, f);
}

bool scans_in_lanes() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

bool scans_in_wide_lanes() {
    static const bool avx512 = [] {
        __builtin_cpu_init();
        return scans_in_lanes() && __builtin_cpu_supports("avx512f") != 0;
    }();
    return avx512;
}
#endif

void scan_row(const double* depth, const double* retention, int from, int to, RowFound& f) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (scans_in_wide_lanes()) {
        scan_row_avx512(depth, retention, from, to, f);
        return;
    }
    if (scans_in_lanes()) {
        scan_row_avx2(depth, retention, from, to, f);
        return;
    }
#endif
    scan_row_cells(depth, retention, from, to, f);
}

// Counts the cells of the spans of the rows above each row.
void count_span_cells(Overland& ov, int rows) {
    ov.span_before[0] = ov.span_before[1] = 0;
    for (int r = 1; r <= rows; ++r)
        ov.span_before[r + 1] = ov.span_before[r] + (ov.span_end[r] - ov.span_begin[r]);
}

// Inside a parallel region: the rows [first, last) of the calling thread's
// share of the cells that `before` counts (the cells of the rows above each
// row, rows + 2 entries).
void share_rows(const int* before, int rows, int& first, int& last) {
    const long long total = before[rows + 1] - before[1];
    const int t = omp_get_thread_num();
    const int threads = omp_get_num_threads();
    const long long from = before[1] + total * t / threads;
    const long long to = before[1] + total * (t + 1) / threads;
    first = static_cast<int>(std::lower_bound(before + 1, before + rows + 1, from) - before);
    last = t + 1 == threads
               ? rows + 1
               : static_cast<int>(std::lower_bound(before + 1, before + rows + 1, to) - before);
}

// The offset of `neighbour` over cells [from, to) of a row: `offset` when
// every cell's neighbour lies that far on, else 0.
int uniform_offset(const std::vector<int>& neighbour, int from, int to, int offset) {
    if (neighbour.size() < static_cast<std::size_t>(to) || from >= to)
        return 0;
    for (int i = from; i < to; ++i)
        if (neighbour[i] != i + offset)
            return 0;
    return offset;
}

void find_uniform_rows(Overland& ov, const Grid& g, int rows, bool by_rows) {
    const std::size_t size = static_cast<std::size_t>(rows) + 2;
    for (auto* a :
         {&ov.row_east_offset, &ov.row_south_offset, &ov.row_west_offset, &ov.row_north_offset})
        a->assign(size, 0);
    if (!by_rows)
        return;
    for (int r = 1; r <= rows; ++r) {
        const int from = ov.row_begin[r], to = ov.row_begin[r + 1];
        if (to - from < 2)
            continue;
        ov.row_east_offset[r] = uniform_offset(ov.face_east, from, to - 1, 1);
        ov.row_west_offset[r] = uniform_offset(g.west_neighbour, from + 1, to, -1);
        if (ov.face_south.size() > static_cast<std::size_t>(from) && ov.face_south[from] > from)
            ov.row_south_offset[r] =
                uniform_offset(ov.face_south, from, to, ov.face_south[from] - from);
        if (g.north_neighbour.size() > static_cast<std::size_t>(from) &&
            g.north_neighbour[from] > 0)
            ov.row_north_offset[r] =
                uniform_offset(g.north_neighbour, from, to, g.north_neighbour[from] - from);
    }
}

}  // namespace

void set_up_wet_spans(Overland& ov, const Grid& g) {
    const int n = g.num_cells;
    const bool by_rows = g.rows > 0 && g.cell_row.size() == static_cast<std::size_t>(n) + 1 &&
                         g.cell_col.size() == static_cast<std::size_t>(n) + 1;
    // Without the rows of the cells the grid is one long row.
    const int rows = by_rows ? g.rows : 1;
    const std::size_t size = static_cast<std::size_t>(rows) + 2;
    ov.row_begin.assign(size, n + 1);
    if (by_rows) {
        for (int i = n; i >= 1; --i) ov.row_begin[g.cell_row[i]] = i;
        for (int r = rows; r >= 1; --r)
            ov.row_begin[r] = std::min(ov.row_begin[r], ov.row_begin[r + 1]);
    } else {
        ov.row_begin[1] = 1;
    }
    for (auto* a : {&ov.span_begin, &ov.span_end, &ov.span_before, &ov.water_before,
                    &ov.active_first, &ov.active_last, &ov.dirty_begin, &ov.dirty_end})
        a->assign(size, 0);
    ov.row_cleanup.assign(2 * size, 0.0);
    // A row's discharges in a block of whole cache lines, for every thread
    // the run may start.
    int longest = 1;
    for (int r = 1; r <= rows; ++r)
        longest = std::max(longest, ov.row_begin[r + 1] - ov.row_begin[r]);
    ov.row_flux_stride = (longest + 1 + 7) / 8 * 8;
    const int threads = std::max(omp_get_max_threads(), omp_get_num_procs());
    ov.row_flux.assign(static_cast<std::size_t>(ov.row_flux_stride) * threads, 0.0);
    find_uniform_rows(ov, g, rows, by_rows);
    ov.water.size_for(rows);
    ov.water.known = false;
    ov.all_dirty = true;
    ov.wet_spans = by_rows && ov.scheme == OverlandScheme::ade && !ov.channel_lakes.present();
    cover_every_cell(ov);
}

int span_rows(const Overland& ov) {
    return static_cast<int>(ov.row_begin.size()) - 2;
}

void cover_every_cell(Overland& ov) {
    const int rows = span_rows(ov);
    for (int r = 1; r <= rows; ++r) {
        ov.span_begin[r] = ov.row_begin[r];
        ov.span_end[r] = ov.row_begin[r + 1];
    }
    count_span_cells(ov, rows);
    ov.active_rows_found = false;
}

RowScan scan_active_rows(Overland& ov, const Grid& g, const double* depth, const double* retention,
                         bool parallel, bool within_water) {
    const int rows = span_rows(ov);
    const int* col = g.cell_col.data();
    const int* begin = ov.row_begin.data();
    int* first = ov.active_first.data();
    int* last = ov.active_last.data();
    int* water_begin = ov.water.begin.data();
    int* water_end = ov.water.end.data();
    within_water = within_water && ov.water.rows() == rows;
    // The cells each row reads: all of them, or only those that may hold
    // water, outside which every depth is 0. The threads share the cells
    // read, so a storm over some rows still keeps every thread busy.
    int* before = ov.water_before.data();
    before[1] = 0;
    for (int r = 1; r <= rows; ++r) {
        int from = begin[r], to = begin[r + 1];
        if (within_water) {
            from = std::max(from, water_begin[r]);
            to = std::max(from, std::min(to, water_end[r]));
            water_begin[r] = from;
            water_end[r] = to;
        }
        before[r + 1] = before[r] + (to - from);
    }
    int wet = 0;
    int first_bad = INT_MAX;
#pragma omp parallel if (parallel) reduction(+ : wet) reduction(min : first_bad)
    {
        int rows_from = 1, rows_to = 1;
        share_rows(before, rows, rows_from, rows_to);
        for (int r = rows_from; r < rows_to; ++r) {
            RowFound found;
            scan_row(depth, retention, within_water ? water_begin[r] : begin[r],
                     within_water ? water_end[r] : begin[r + 1], found);
            // Cells are numbered along the row: the first cell above its
            // retention has the row's least column, the last its greatest.
            first[r] = found.active_first < 0 ? INT_MAX : col[found.active_first];
            last[r] = found.active_first < 0 ? -1 : col[found.active_last];
            water_begin[r] = found.water_last < 0 ? begin[r] : found.water_first;
            water_end[r] = found.water_last < 0 ? begin[r] : found.water_last + 1;
            wet += found.wet;
            first_bad = std::min(first_bad, found.first_bad);
        }
    }
    ov.active_rows_found = true;
    // The cells found hold the water before the step; the step may move it.
    ov.water.known = false;
    return {wet > 0, first_bad == INT_MAX ? 0 : first_bad};
}

RowScan scan_water_rows(Overland& ov, const double* depth, bool parallel) {
    const int rows = span_rows(ov);
    const int* begin = ov.row_begin.data();
    int* water_begin = ov.water.begin.data();
    int* water_end = ov.water.end.data();
    int wet = 0;
    int first_bad = INT_MAX;
#pragma omp parallel for schedule(static) if (parallel) reduction(+ : wet) \
    reduction(min : first_bad)
    for (int r = 1; r <= rows; ++r) {
        int water_first = INT_MAX, water_last = -1;
        for (int i = begin[r]; i < begin[r + 1]; ++i) {
            const double h = depth[i];
            if (h == 0.0)
                continue;
            water_first = std::min(water_first, i);
            water_last = i;
            if (std::isnan(h) || std::isinf(h))
                first_bad = std::min(first_bad, i);
            else if (h > 1e-16)
                ++wet;
        }
        water_begin[r] = water_last < 0 ? begin[r] : water_first;
        water_end[r] = water_last < 0 ? begin[r] : water_last + 1;
    }
    ov.water.known = true;
    return {wet > 0, first_bad == INT_MAX ? 0 : first_bad};
}

void spans_from_active_rows(Overland& ov, const Grid& g) {
    const int rows = span_rows(ov);
    const int* col = g.cell_col.data();
    const int* begin = ov.row_begin.data();
    const int* first = ov.active_first.data();
    const int* last = ov.active_last.data();
    for (int r = 1; r <= rows; ++r) {
        int a = first[r], b = last[r];
        if (r > 1) {
            a = std::min(a, first[r - 1]);
            b = std::max(b, last[r - 1]);
        }
        if (r < rows) {
            a = std::min(a, first[r + 1]);
            b = std::max(b, last[r + 1]);
        }
        if (b < 0) {
            ov.span_begin[r] = ov.span_end[r] = begin[r];
            continue;
        }
        const int from = begin[r], length = begin[r + 1] - from;
        if (length > 0 && col[from + length - 1] - col[from] == length - 1) {
            // The row's columns follow one another (they rise along the
            // row): the cell of a column is found by counting.
            ov.span_begin[r] = from + std::clamp(a - 1 - col[from], 0, length);
            ov.span_end[r] = from + std::clamp(b + 2 - col[from], 0, length);
            continue;
        }
        ov.span_begin[r] =
            static_cast<int>(std::lower_bound(col + from, col + from + length, a - 1) - col);
        ov.span_end[r] =
            static_cast<int>(std::upper_bound(col + from, col + from + length, b + 1) - col);
    }
    count_span_cells(ov, rows);
    ov.active_rows_found = false;
}

void span_rows_of_thread(const Overland& ov, int& first, int& last) {
    share_rows(ov.span_before.data(), span_rows(ov), first, last);
}

void find_wet_spans(Overland& ov, const Grid& g, const double* depth, const double* retention,
                    bool parallel) {
    if (!ov.active_rows_found)
        scan_active_rows(ov, g, depth, retention, parallel, false);
    spans_from_active_rows(ov, g);
}

void clear_dirty_faces(Overland& ov, bool parallel) {
    double* qx = ov.discharge_x.data();
    double* qy = ov.discharge_y.data();
    double* fx = ov.flux_x.data();
    double* fy = ov.flux_y.empty() ? nullptr : ov.flux_y.data();
    const auto clear = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            qx[i] = qy[i] = fx[i] = 0.0;
            if (fy)
                fy[i] = 0.0;
        }
    };
    const int rows = span_rows(ov);
    const bool all = ov.all_dirty;
    const int* row = ov.row_begin.data();
    const int* dirty_begin = ov.dirty_begin.data();
    const int* dirty_end = ov.dirty_end.data();
    const int* span_begin = ov.span_begin.data();
    const int* span_end = ov.span_end.data();
    // Most steps of a storm have every dirty face inside the new spans: the
    // threads are not started for nothing.
    bool any = all;
    for (int r = 1; r <= rows && !any; ++r)
        any = dirty_begin[r] < std::min(dirty_end[r], span_begin[r]) ||
              std::max(dirty_begin[r], span_end[r]) < dirty_end[r];
    if (!any)
        return;
#pragma omp parallel for schedule(static) if (parallel)
    for (int r = 1; r <= rows; ++r) {
        const int from = all ? row[r] : dirty_begin[r];
        const int to = all ? row[r + 1] : dirty_end[r];
        // The sweeps of the step give the cells of its spans their faces.
        clear(from, std::min(to, span_begin[r]));
        clear(std::max(from, span_end[r]), to);
    }
    ov.all_dirty = false;
}

void mark_spans_dirty(Overland& ov) {
    ov.dirty_begin = ov.span_begin;
    ov.dirty_end = ov.span_end;
}

void clear_faces_for_dry_step(Overland& ov, int n, bool parallel) {
    (void)n;
    const int rows = span_rows(ov);
    for (int r = 1; r <= rows; ++r) ov.span_begin[r] = ov.span_end[r] = ov.row_begin[r];
    clear_dirty_faces(ov, parallel);
    for (int r = 1; r <= rows; ++r) ov.dirty_begin[r] = ov.dirty_end[r] = ov.row_begin[r];
    count_span_cells(ov, rows);
    ov.active_rows_found = false;
}

void keep_water_after_step(Overland& ov, bool known) {
    const int rows = span_rows(ov);
    if (!known || ov.water.rows() != rows) {
        ov.water.known = false;
        return;
    }
    // Water moved only within the spans, so after the step it stands in the
    // cells that held it before or in the spans.
    for (int r = 1; r <= rows; ++r) {
        const int a = ov.span_begin[r], b = ov.span_end[r];
        if (b <= a)
            continue;
        if (ov.water.end[r] <= ov.water.begin[r]) {
            ov.water.begin[r] = a;
            ov.water.end[r] = b;
        } else {
            ov.water.begin[r] = std::min(ov.water.begin[r], a);
            ov.water.end[r] = std::max(ov.water.end[r], b);
        }
    }
    ov.water.known = true;
}

}  // namespace torva
