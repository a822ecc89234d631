// The two ADE sweeps of a sub-step in one pass down the rows. A sweep along
// the rows changes the depths of each row from that row's own faces; a sweep
// across them reads, for the faces of row r (the limit's look-ups included),
// the depths of rows r - 1 to r + 2, and its cells take their discharges once
// the faces of the row below are known. So the rows can go through both
// sweeps a few rows apart, while the rows between are in the cache, with the
// same depths read by every face as when each sweep covers the grid in turn.
// The sweep along the rows keeps its discharges in a buffer of the row's,
// and the one across them in the face array.

#include "surface/overland_ade_sweeps.hpp"

#include <omp.h>

#include <algorithm>

#include "core/model_state.hpp"
#include "surface/overland.hpp"
#include "surface/overland_face_batch.hpp"
#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

// The cells of the span [begin, end) of row r whose neighbours across the
// direction's faces (`upstream` false) or back across them (true) lie the
// same distance away for every cell of the row: along a row, the last cell
// has no face on and the first none back.
UniformCells uniform_cells(const Overland& ov, const SweepFaces& d, int r, int begin, int end,
                           bool upstream) {
    const int* offsets = upstream ? d.row_from_offset : d.row_to_offset;
    if (!offsets || offsets[r] == 0)
        return {};
    int from = ov.row_begin[r], to = ov.row_begin[r + 1];
    if (d.within_rows) {
        if (upstream)
            ++from;
        else
            --to;
    }
    return {std::max(begin, from), std::min(end, to), offsets[r]};
}

// One sweep's work on a row: the discharges of its faces, and its cells
// taking them. `flux[i - base]` holds the discharge of cell i's face.
class Sweep {
  public:
    Sweep(Overland& ov, const SweepFields& f, double* depth, double* saved, const SweepFaces& d,
          double sub_step, bool first_sub_step, double* row_cleanup)
        : ov_(ov),
          f_(f),
          depth_(depth),
          saved_(saved),
          d_(d),
          sub_step_(sub_step),
          first_sub_step_(first_sub_step),
          area_(f.cell_size * f.cell_size),
          volume_rate_(area_ / sub_step),
          row_cleanup_(row_cleanup) {}

    // The faces of row r's span: in batches, and the few faces whose
    // discharge the limit cuts through the face law. Returns the faces that
    // fail the sub-step.
    int faces(int r, double* flux, int base) const {
        const int begin = ov_.span_begin[r], end = ov_.span_end[r];
        const double cell_size = f_.cell_size;
        // Any fall of at least this much has a gradient (fall / cell size)
        // far from rounding to 0, so its sign is the fall's.
        const FaceCells cells{f_.elevation, depth_, f_.retention, f_.inverse_n,
                              cell_size * 0x1p-1000};
        const UniformCells known = uniform_cells(ov_, d_, r, begin, end, false);
        int failures = 0;
        FaceBatch b;
        for (int from = begin; from < end; from += kFaceBatch) {
            const int count = std::min(kFaceBatch, end - from);
            if (!batch_face_discharges(cells, d_.face_to, from, count, cell_size, volume_rate_, b,
                                       flux + (from - base), known))
                continue;
            for (int k = 0; k < count; ++k) {
                if (b.redo[k] == 0.0)
                    continue;
                const law::FaceFlow flow = face_flow(from + k);
                flux[from + k - base] = flow.discharge;
                failures += flow.failed;
            }
        }
        return failures;
    }

    // Row r's cells take the discharges of their two faces; returns the
    // cells that fail the sub-step, and keeps the row's cleanup.
    int update(int r, const double* flux, int base) const {
        const int begin = ov_.span_begin[r], end = ov_.span_end[r];
        const CellUpdate cells{flux,      d_.face_from,      d_.face_volume,  depth_, saved_,
                               sub_step_, sub_step_ / area_, first_sub_step_, base};
        double cleanup = 0.0;
        const int failed = update_span_cells(cells, begin, end, cleanup,
                                             uniform_cells(ov_, d_, r, begin, end, true));
        row_cleanup_[r] = cleanup;
        return failed;
    }

  private:
    law::AdeCell cell(int i) const {
        return {f_.elevation[i] + depth_[i], depth_[i] - f_.retention[i], f_.inverse_n[i],
                depth_[i]};
    }

    // The law's discharge across the downstream face of cell i (0 where no
    // water crosses it), before the levelling limit.
    double law_discharge(int i) const {
        const int j = i > 0 ? d_.face_to[i] : 0;
        if (j == 0)
            return 0.0;
        return law::ade_face_discharge(cell(i), cell(j), f_.cell_size, volume_rate_);
    }

    // The face law of cell i's face, with what the two cells pass on through
    // their far faces.
    law::FaceFlow face_flow(int i) const {
        const int j = d_.face_to[i];
        if (j == 0)
            return {0.0, false};
        return law::ade_face_flow(
            cell(i), cell(j), f_.cell_size, volume_rate_, sub_step_, [&](double sign) {
                return sign * (law_discharge(d_.face_from[i]) + law_discharge(j));
            });
    }

    Overland& ov_;
    const SweepFields& f_;
    double* depth_;
    double* saved_;
    const SweepFaces& d_;
    double sub_step_;
    bool first_sub_step_;
    double area_;
    double volume_rate_;
    double* row_cleanup_;
};

double sum_rows(const double* row_cleanup, int rows) {
    double cleanup = 0.0;
    for (int r = 1; r <= rows; ++r) cleanup += row_cleanup[r];
    return cleanup;
}

}  // namespace

SweepPair ade_sweep_pair(Overland& ov, const SweepFields& f, double* depth, double* saved,
                         const SweepFaces& first, const SweepFaces& second, double sub_step,
                         bool first_sub_step, bool parallel) {
    const int rows = span_rows(ov);
    const int threads = parallel ? omp_get_max_threads() : 1;
    const std::size_t stride = ov.row_flux_stride;
    // Sized at the set-up for every thread the run may start.
    if (ov.row_flux.size() < stride * threads)
        ov.row_flux.assign(stride * threads, 0.0);
    double* first_cleanup = ov.row_cleanup.data();
    double* second_cleanup = first_cleanup + rows + 2;
    const Sweep one(ov, f, depth, saved, first, sub_step, first_sub_step, first_cleanup);
    const Sweep two(ov, f, depth, nullptr, second, sub_step, first_sub_step, second_cleanup);
    const bool along_first = first.within_rows;
    const Sweep& along = along_first ? one : two;
    const Sweep& across = along_first ? two : one;
    double* across_flux = (along_first ? second : first).flux;
    const int* span_begin = ov.span_begin.data();
    int failures = 0;
#pragma omp parallel if (parallel) reduction(+ : failures)
    {
        // The row's discharges along it; entry 0 is the face before the
        // span's first cell, which carries none.
        double* row_flux = ov.row_flux.data() + stride * omp_get_thread_num();
        row_flux[0] = 0.0;
        const auto along_row = [&](int r) {
            const int base = span_begin[r] - 1;
            return along.faces(r, row_flux, base) + along.update(r, row_flux, base);
        };
        int lo = 1, hi = 1;
        span_rows_of_thread(ov, lo, hi);
        // The rows next to another thread's: the first two, whose depths the
        // faces of the rows above read, and the last, which the first row
        // below reads.
        const auto borders = [&](int r) { return r < lo + 2 || r == hi - 1; };
        if (along_first) {
            // The faces across row r read rows r - 1 to r + 2 as the sweep
            // along the rows left them.
            for (int r = lo; r < hi; ++r)
                if (borders(r))
                    failures += along_row(r);
#pragma omp barrier
            for (int r = lo; r < hi; ++r) {
                if (r + 2 < hi && !borders(r + 2))
                    failures += along_row(r + 2);
                failures += across.faces(r, across_flux, 0);
                if (r > lo && !borders(r - 1))
                    failures += across.update(r - 1, across_flux, 0);
            }
#pragma omp barrier
            for (int r = lo; r < hi; ++r)
                if (borders(r))
                    failures += across.update(r, across_flux, 0);
        } else {
            // A row goes along once the sweep across has left it: after the
            // faces of the row below.
            for (int r = lo; r < hi; ++r) {
                failures += across.faces(r, across_flux, 0);
                if (r > lo && !borders(r - 1)) {
                    failures += across.update(r - 1, across_flux, 0);
                    failures += along_row(r - 1);
                }
            }
#pragma omp barrier
            for (int r = lo; r < hi; ++r)
                if (borders(r)) {
                    failures += across.update(r, across_flux, 0);
                    failures += along_row(r);
                }
        }
    }
    return {failures, sum_rows(first_cleanup, rows), sum_rows(second_cleanup, rows)};
}

}  // namespace torva
