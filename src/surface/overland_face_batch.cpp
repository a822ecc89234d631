// The faces' layout goes through vector lanes only when the compiler may
// work out both sides of each selection, which it does not do for
// operations that might raise a floating-point exception. The program runs
// with the exceptions masked, and each selection still picks the value it
// would have picked, so the results are the same to the last bit.
#pragma GCC optimize("no-trapping-math")

#include "surface/overland_face_batch.hpp"

#if defined(__SSE2__)
// GCC 12 takes the 512-bit intrinsics' undefined inputs (their unused
// merge operands) for uninitialised values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

// One face laid out from its cell (i) and its neighbour (j): their
// elevations, depths, retentions and 1 / n. Written with selections rather
// than branches: on rough ground the flow turns from face to face, and a
// mispredicted branch costs more than the work of both sides; and a run of
// faces laid out this way goes through vector lanes. The cube root's first
// estimate is left to `face_batch_discharges`.
struct FaceLayout {
    double base, fall, above, inverse_n, sign, special;
};

__attribute__((always_inline)) inline FaceLayout lay_out_face(double zi, double hi, double ri,
                                                              double ni, double zj, double hj,
                                                              double rj, double nj,
                                                              double tiny_fall) {
    const double fall = (zi + hi) - (zj + hj);
    const bool down = fall > 0.0;
    const bool up = fall < 0.0;
    const double above = down ? hi - ri : hj - rj;
    // A giver at or below its retention, or a depth that is not a number,
    // gives nothing. (`&` and `|` rather than `&&` and `||`: no branches.)
    const bool gives = (down | up) & (above > 0.0);
    const double x = above * above;
    // The cube root's fast path (overland_law::cube_root_fast_path).
    const bool fast = gives & (x >= std::numeric_limits<double>::min()) &
                      (x <= std::numeric_limits<double>::max());
    const double drop = std::fabs(fall);
    FaceLayout f;
    f.base = fast ? above : 1.0;
    f.fall = gives ? drop : 0.0;
    f.above = gives ? above : 0.0;
    f.inverse_n = gives ? (down ? ni : nj) : 0.0;
    f.sign = gives ? (down ? 1.0 : -1.0) : 0.0;
    // A fall whose gradient (fall / cell size) would round to 0 is for the
    // face law.
    f.special = gives & !(fast & (drop >= tiny_fall)) ? 1.0 : 0.0;
    return f;
}

// The arithmetic of a batch, every face side by side: Manning's discharge
// h^(5/3) sqrt(S) / n dx and the levelling limit of the face. The cube roots'
// divisions and the square roots of neighbouring faces overlap in the
// processor instead of waiting on one another, and each lane does the
// scalar operations in the scalar order, so every result is the same to the
// last bit. A face whose discharge the limit cuts, or whose cube root leaves
// the fast path, is marked in `redo` for the face law itself; the others get
// their discharge in `flux`. Written without branches, so that the loop runs
// in vector lanes.
__attribute__((always_inline)) inline void batch_discharges(int first, int count, FaceBatch& b,
                                                            double cell_size, double volume_rate,
                                                            double* flux) {
    for (int k = first; k < count; ++k) {
        const double base = b.base[k];
        const double five_thirds = base * law::cube_root_refined(base * base, b.estimate[k]);
        const double q = five_thirds * b.slope[k] * b.inverse_n[k] * cell_size;
        const double level = b.fall[k] * law::kSweepLevelShare;
        const double above = b.above[k];
        const double cap = (level < above ? level : above) * volume_rate;
        // A face without flow has 1 / n and slope 0, so q is 0 and so is
        // its discharge. A q that is not a number goes to the face law.
        const double special = b.special[k];
        flux[k] = b.sign[k] * q;
        b.redo[k] = q <= cap ? special : 1.0;
    }
}

__attribute__((always_inline)) inline void store_face(FaceBatch& b, int k, const FaceLayout& f) {
    b.base[k] = f.base;
    b.fall[k] = f.fall;
    b.above[k] = f.above;
    b.inverse_n[k] = f.inverse_n;
    b.sign[k] = f.sign;
    b.special[k] = f.special;
}

// The faces of cells from .. from + count - 1, whose neighbours are the
// cells `offset` further on: the neighbours' fields lie side by side, and
// the faces go through vector lanes.
__attribute__((always_inline)) inline void lay_out_run(const FaceCells& c, int from, int count,
                                                       int offset, FaceBatch& b) {
    // The batch and the fields do not overlap: said so, the compiler checks
    // nothing at run time.
    const double* __restrict zi = c.elevation + from;
    const double* __restrict hi = c.depth + from;
    const double* __restrict ri = c.retention + from;
    const double* __restrict ni = c.inverse_n + from;
    const double* __restrict zj = zi + offset;
    const double* __restrict hj = hi + offset;
    const double* __restrict rj = ri + offset;
    const double* __restrict nj = ni + offset;
    const double tiny_fall = c.tiny_fall;
    double* __restrict base = b.base;
    double* __restrict fall_out = b.fall;
    double* __restrict above_out = b.above;
    double* __restrict inverse_n = b.inverse_n;
    double* __restrict sign = b.sign;
    double* __restrict special = b.special;
#pragma GCC ivdep
    for (int k = 0; k < count; ++k) {
        const FaceLayout f =
            lay_out_face(zi[k], hi[k], ri[k], ni[k], zj[k], hj[k], rj[k], nj[k], tiny_fall);
        base[k] = f.base;
        fall_out[k] = f.fall;
        above_out[k] = f.above;
        inverse_n[k] = f.inverse_n;
        sign[k] = f.sign;
        special[k] = f.special;
    }
}

// The first estimates of the cube roots, one at a time (a 64-bit division
// by 3, which the compiler makes a multiplication, has no vector form in
// these lanes). The root is that of the base's square, the square of the
// depth above retention on the fast path and 1 off it, whose estimate is 1
// exactly.
void cube_root_estimates(int first, int count, FaceBatch& b) {
    for (int k = first; k < count; ++k)
        b.estimate[k] = law::cube_root_estimate(b.base[k] * b.base[k]);
}

void batch_arithmetic(int first, int count, FaceBatch& b, double cell_size, double volume_rate,
                      double* flux) {
#if defined(__SSE2__)
    int k = first;
    const __m128d size = _mm_set1_pd(cell_size);
    for (; k + 2 <= count; k += 2)
        _mm_storeu_pd(b.slope + k, _mm_sqrt_pd(_mm_div_pd(_mm_loadu_pd(b.fall + k), size)));
    for (; k < count; ++k) b.slope[k] = std::sqrt(b.fall[k] / cell_size);
#else
    for (int k = first; k < count; ++k) b.slope[k] = std::sqrt(b.fall[k] / cell_size);
#endif
    batch_discharges(first, count, b, cell_size, volume_rate, flux);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same on processors with 256-bit lanes: four faces at a time. Without
// fused multiply-add the lanes round every operation as the scalar code does.
__attribute__((target("avx2"))) void batch_arithmetic_avx2(int first, int count, FaceBatch& b,
                                                           double cell_size, double volume_rate,
                                                           double* flux) {
    int k = first;
    const __m256d size = _mm256_set1_pd(cell_size);
    for (; k + 4 <= count; k += 4)
        _mm256_storeu_pd(b.slope + k,
                         _mm256_sqrt_pd(_mm256_div_pd(_mm256_loadu_pd(b.fall + k), size)));
    for (; k < count; ++k) b.slope[k] = std::sqrt(b.fall[k] / cell_size);
    batch_discharges(first, count, b, cell_size, volume_rate, flux);
}

// TORVA_NARROW_LANES=1 keeps the faces in the 128-bit lanes on any
// processor, so that a run can be checked against one in the wide lanes.
__attribute__((target("avx2"))) void lay_out_run_avx2(const FaceCells& c, int from, int count,
                                                      int offset, FaceBatch& b) {
    lay_out_run(c, from, count, offset, b);
}

bool has_avx2() {
    static const bool avx2 = [] {
        const char* narrow = std::getenv("TORVA_NARROW_LANES");
        if (narrow && *narrow && std::strcmp(narrow, "0") != 0)
            return false;
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

// Processors with 512-bit lanes (eight faces at a time) unless
// TORVA_NARROW_LANES holds the faces in the 128-bit ones.
bool has_avx512() {
    static const bool avx512 = [] {
        __builtin_cpu_init();
        return has_avx2() && __builtin_cpu_supports("avx512f") != 0;
    }();
    return avx512;
}
#endif

// The cells of a run, whose upstream faces are those of the cells `offset`
// away, take the discharges of their two faces of the direction: the face
// volumes grow by the sub-step's, and each depth by the difference, as
// overland_law::ade_depth_update works it out, written with selections so
// that the run goes through vector lanes. What a cell's cleanup takes goes
// into `clean`, in the cells' order; `cleaned` counts the cells it took from.
template <bool kSave>
__attribute__((always_inline)) inline int update_run(const CellUpdate& u, int from, int count,
                                                     const double* upstream, double* clean,
                                                     int& cleaned) {
    const double* __restrict q = u.flux + (from - u.flux_base);
    const double* __restrict q_from = upstream;
    double* __restrict volume = u.face_volume + from;
    double* __restrict h = u.depth + from;
    double* __restrict saved = kSave ? u.saved + from : nullptr;
    double* __restrict taken = clean;
    const double dt = u.sub_step;
    const double k = u.k;
    const bool first = u.first_sub_step;
    const bool short_step = dt < 0.001;
    const bool long_step = dt > 0.01;
    int failed = 0;
    int cleans = 0;
    // No array written here is read at another cell's place.
#pragma GCC ivdep
    for (int j = 0; j < count; ++j) {
        const double qj = q[j];
        volume[j] = first ? qj * dt : volume[j] + qj * dt;
        const double old = h[j];
        if constexpr (kSave)
            saved[j] = old;
        const double change = (q_from[j] - qj) * k;
        const double depth = old + change;
        const bool negative = depth < 0.0;
        const bool fails_negative = short_step | (depth < -1e-6);
        const bool cleans_up = negative & !fails_negative;
        h[j] = cleans_up ? 0.0 : depth;
        taken[j] = cleans_up ? -depth : 0.0;
        const bool too_fast = (std::fabs(change) > 0.5 * old) & (old > 0.001) & long_step;
        failed += (negative & fails_negative) | too_fast;
        cleans += cleans_up;
    }
    cleaned += cleans;
    return failed;
}

#if defined(__x86_64__) && defined(__GNUC__)
template <bool kSave>
__attribute__((target("avx2"))) int update_run_avx2(const CellUpdate& u, int from, int count,
                                                    const double* upstream, double* clean,
                                                    int& cleaned) {
    return update_run<kSave>(u, from, count, upstream, clean, cleaned);
}

template <bool kSave>
__attribute__((target("avx512f,avx512vl,avx512dq,avx512bw,prefer-vector-width=512"))) int
update_run_avx512(const CellUpdate& u, int from, int count, const double* upstream, double* clean,
                  int& cleaned) {
    return update_run<kSave>(u, from, count, upstream, clean, cleaned);
}
#endif

template <bool kSave>
int update_run_widest(const CellUpdate& u, int from, int count, const double* upstream,
                      double* clean, int& cleaned) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_avx512())
        return update_run_avx512<kSave>(u, from, count, upstream, clean, cleaned);
    if (has_avx2())
        return update_run_avx2<kSave>(u, from, count, upstream, clean, cleaned);
#endif
    return update_run<kSave>(u, from, count, upstream, clean, cleaned);
}

// How many of cells i .. i + limit - 1 have their neighbour `offset` cells
// on, counting from cell i, which has: four cells at a time.
int uniform_run(const int* neighbour, int i, int limit, int offset) {
    int run = 1;
#if defined(__SSE2__)
    const __m128i step = _mm_setr_epi32(0, 1, 2, 3);
    for (; run + 4 <= limit; run += 4) {
        const __m128i expected = _mm_add_epi32(_mm_set1_epi32(i + run + offset), step);
        const __m128i found =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(neighbour + i + run));
        const int same = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(found, expected)));
        if (same != 0xF)
            return run + __builtin_ctz(~same);
    }
#endif
    while (run < limit && neighbour[i + run] == i + run + offset) ++run;
    return run;
}

#if defined(__x86_64__) && defined(__GNUC__)
// The faces of cells from .. from + count - 1 (count a multiple of 4), whose
// neighbours are the cells `offset` further on, four at a time from their
// layout to their discharges without leaving the lanes: each face as
// `lay_out_face` lays it out, its cube root's estimate as
// overland_law::cube_root_estimate takes it (the 64-bit division by 3 as a
// multiplication by 0xAAAAAAAAAAAAAAAB, whose upper half is put together
// from four 32-bit products, and a shift) and its arithmetic as
// `batch_discharges` does it, every operation rounded as there. The marks go
// into `redo`; true when any face is marked.
__attribute__((target("avx2"))) bool faces_in_lanes_avx2(const FaceCells& c, int from, int count,
                                                         int offset, double cell_size,
                                                         double volume_rate, double* flux,
                                                         double* redo) {
    const double* zi = c.elevation + from;
    const double* hi = c.depth + from;
    const double* ri = c.retention + from;
    const double* ni = c.inverse_n + from;
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d minus_one = _mm256_set1_pd(-1.0);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d least = _mm256_set1_pd(std::numeric_limits<double>::min());
    const __m256d most = _mm256_set1_pd(std::numeric_limits<double>::max());
    const __m256d tiny_fall = _mm256_set1_pd(c.tiny_fall);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF));
    const __m256d size = _mm256_set1_pd(cell_size);
    const __m256d rate = _mm256_set1_pd(volume_rate);
    const __m256d share = _mm256_set1_pd(law::kSweepLevelShare);
    const __m256i third_low = _mm256_set1_epi64x(0xAAAAAAAB);
    const __m256i third_high = _mm256_set1_epi64x(0xAAAAAAAA);
    const __m256i low_half = _mm256_set1_epi64x(0xFFFFFFFF);
    const __m256i exponent_bias = _mm256_set1_epi64x(std::int64_t{682} << 52);
    __m256d marks = zero;
    for (int k = 0; k < count; k += 4) {
        const __m256d zi4 = _mm256_loadu_pd(zi + k), hi4 = _mm256_loadu_pd(hi + k);
        const __m256d zj4 = _mm256_loadu_pd(zi + k + offset);
        const __m256d hj4 = _mm256_loadu_pd(hi + k + offset);
        // The layout.
        const __m256d fall = _mm256_sub_pd(_mm256_add_pd(zi4, hi4), _mm256_add_pd(zj4, hj4));
        const __m256d down = _mm256_cmp_pd(fall, zero, _CMP_GT_OQ);
        const __m256d up = _mm256_cmp_pd(fall, zero, _CMP_LT_OQ);
        const __m256d above = _mm256_blendv_pd(_mm256_sub_pd(hj4, _mm256_loadu_pd(ri + k + offset)),
                                               _mm256_sub_pd(hi4, _mm256_loadu_pd(ri + k)), down);
        const __m256d gives =
            _mm256_and_pd(_mm256_or_pd(down, up), _mm256_cmp_pd(above, zero, _CMP_GT_OQ));
        const __m256d square = _mm256_mul_pd(above, above);
        const __m256d fast =
            _mm256_and_pd(gives, _mm256_and_pd(_mm256_cmp_pd(square, least, _CMP_GE_OQ),
                                               _mm256_cmp_pd(square, most, _CMP_LE_OQ)));
        const __m256d drop = _mm256_and_pd(fall, magnitude);
        const __m256d base = _mm256_blendv_pd(one, above, fast);
        const __m256d face_fall = _mm256_and_pd(gives, drop);
        const __m256d face_above = _mm256_and_pd(gives, above);
        const __m256d inverse_n = _mm256_and_pd(
            gives,
            _mm256_blendv_pd(_mm256_loadu_pd(ni + k + offset), _mm256_loadu_pd(ni + k), down));
        const __m256d sign = _mm256_and_pd(gives, _mm256_blendv_pd(minus_one, one, down));
        const __m256d special = _mm256_and_pd(
            _mm256_andnot_pd(_mm256_and_pd(fast, _mm256_cmp_pd(drop, tiny_fall, _CMP_GE_OQ)),
                             gives),
            one);
        // The cube root's estimate.
        const __m256d x = _mm256_mul_pd(base, base);
        const __m256i bits = _mm256_castpd_si256(x);
        const __m256i upper = _mm256_srli_epi64(bits, 32);
        const __m256i low_low = _mm256_mul_epu32(bits, third_low);
        const __m256i up_low =
            _mm256_add_epi64(_mm256_mul_epu32(upper, third_low), _mm256_srli_epi64(low_low, 32));
        const __m256i low_up = _mm256_add_epi64(_mm256_mul_epu32(bits, third_high),
                                                _mm256_and_si256(up_low, low_half));
        const __m256i product = _mm256_add_epi64(
            _mm256_mul_epu32(upper, third_high),
            _mm256_add_epi64(_mm256_srli_epi64(up_low, 32), _mm256_srli_epi64(low_up, 32)));
        __m256d y =
            _mm256_castsi256_pd(_mm256_add_epi64(_mm256_srli_epi64(product, 1), exponent_bias));
        // The arithmetic.
        const __m256d slope = _mm256_sqrt_pd(_mm256_div_pd(face_fall, size));
        const __m256d twice_x = _mm256_mul_pd(two, x);
        for (int step = 0; step < 2; ++step) {
            const __m256d y3 = _mm256_mul_pd(_mm256_mul_pd(y, y), y);
            y = _mm256_mul_pd(y, _mm256_div_pd(_mm256_add_pd(y3, twice_x),
                                               _mm256_add_pd(_mm256_mul_pd(two, y3), x)));
        }
        const __m256d y3 = _mm256_mul_pd(_mm256_mul_pd(y, y), y);
        const __m256d root =
            _mm256_sub_pd(y, _mm256_div_pd(_mm256_mul_pd(y, _mm256_sub_pd(y3, x)),
                                           _mm256_add_pd(_mm256_mul_pd(two, y3), x)));
        const __m256d q = _mm256_mul_pd(
            _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(base, root), slope), inverse_n), size);
        const __m256d cap =
            _mm256_mul_pd(_mm256_min_pd(_mm256_mul_pd(face_fall, share), face_above), rate);
        _mm256_storeu_pd(flux + k, _mm256_mul_pd(sign, q));
        const __m256d mark = _mm256_blendv_pd(one, special, _mm256_cmp_pd(q, cap, _CMP_LE_OQ));
        _mm256_storeu_pd(redo + k, mark);
        marks = _mm256_or_pd(marks, mark);
    }
    const __m256i marked = _mm256_castpd_si256(marks);
    return _mm256_testz_si256(marked, marked) == 0;
}

// The same eight faces at a time in 512-bit lanes, the selections by masks.
__attribute__((target("avx512f"))) bool faces_in_lanes_avx512(const FaceCells& c, int from,
                                                              int count, int offset,
                                                              double cell_size, double volume_rate,
                                                              double* flux, double* redo) {
    const double* zi = c.elevation + from;
    const double* hi = c.depth + from;
    const double* ri = c.retention + from;
    const double* ni = c.inverse_n + from;
    const __m512d zero = _mm512_setzero_pd();
    const __m512d one = _mm512_set1_pd(1.0);
    const __m512d minus_one = _mm512_set1_pd(-1.0);
    const __m512d two = _mm512_set1_pd(2.0);
    const __m512d least = _mm512_set1_pd(std::numeric_limits<double>::min());
    const __m512d most = _mm512_set1_pd(std::numeric_limits<double>::max());
    const __m512d tiny_fall = _mm512_set1_pd(c.tiny_fall);
    const __m512d size = _mm512_set1_pd(cell_size);
    const __m512d rate = _mm512_set1_pd(volume_rate);
    const __m512d share = _mm512_set1_pd(law::kSweepLevelShare);
    const __m512i third_low = _mm512_set1_epi64(0xAAAAAAAB);
    const __m512i third_high = _mm512_set1_epi64(0xAAAAAAAA);
    const __m512i low_half = _mm512_set1_epi64(0xFFFFFFFF);
    const __m512i exponent_bias = _mm512_set1_epi64(std::int64_t{682} << 52);
    __m512i marks = _mm512_setzero_si512();
    for (int k = 0; k < count; k += 8) {
        const __m512d zi8 = _mm512_loadu_pd(zi + k), hi8 = _mm512_loadu_pd(hi + k);
        const __m512d zj8 = _mm512_loadu_pd(zi + k + offset);
        const __m512d hj8 = _mm512_loadu_pd(hi + k + offset);
        const __m512d fall = _mm512_sub_pd(_mm512_add_pd(zi8, hi8), _mm512_add_pd(zj8, hj8));
        const __mmask8 down = _mm512_cmp_pd_mask(fall, zero, _CMP_GT_OQ);
        const __mmask8 up = _mm512_cmp_pd_mask(fall, zero, _CMP_LT_OQ);
        const __m512d above =
            _mm512_mask_blend_pd(down, _mm512_sub_pd(hj8, _mm512_loadu_pd(ri + k + offset)),
                                 _mm512_sub_pd(hi8, _mm512_loadu_pd(ri + k)));
        const __mmask8 gives = (down | up) & _mm512_cmp_pd_mask(above, zero, _CMP_GT_OQ);
        const __m512d square = _mm512_mul_pd(above, above);
        const __mmask8 fast = gives & _mm512_cmp_pd_mask(square, least, _CMP_GE_OQ) &
                              _mm512_cmp_pd_mask(square, most, _CMP_LE_OQ);
        const __m512d drop = _mm512_abs_pd(fall);
        const __m512d base = _mm512_mask_blend_pd(fast, one, above);
        const __m512d face_fall = _mm512_maskz_mov_pd(gives, drop);
        const __m512d face_above = _mm512_maskz_mov_pd(gives, above);
        const __m512d inverse_n = _mm512_maskz_mov_pd(
            gives,
            _mm512_mask_blend_pd(down, _mm512_loadu_pd(ni + k + offset), _mm512_loadu_pd(ni + k)));
        const __m512d sign = _mm512_maskz_mov_pd(gives, _mm512_mask_blend_pd(down, minus_one, one));
        const __mmask8 special =
            gives &
            static_cast<__mmask8>(~(fast & _mm512_cmp_pd_mask(drop, tiny_fall, _CMP_GE_OQ)));
        const __m512d x = _mm512_mul_pd(base, base);
        const __m512i bits = _mm512_castpd_si512(x);
        const __m512i upper = _mm512_srli_epi64(bits, 32);
        const __m512i low_low = _mm512_mul_epu32(bits, third_low);
        const __m512i up_low =
            _mm512_add_epi64(_mm512_mul_epu32(upper, third_low), _mm512_srli_epi64(low_low, 32));
        const __m512i low_up = _mm512_add_epi64(_mm512_mul_epu32(bits, third_high),
                                                _mm512_and_si512(up_low, low_half));
        const __m512i product = _mm512_add_epi64(
            _mm512_mul_epu32(upper, third_high),
            _mm512_add_epi64(_mm512_srli_epi64(up_low, 32), _mm512_srli_epi64(low_up, 32)));
        __m512d y =
            _mm512_castsi512_pd(_mm512_add_epi64(_mm512_srli_epi64(product, 1), exponent_bias));
        const __m512d slope = _mm512_sqrt_pd(_mm512_div_pd(face_fall, size));
        // Doubling is exact (or overflows either way), so 2 a + b fused
        // into one operation rounds as the doubling and the sum one after
        // the other do.
        for (int step = 0; step < 2; ++step) {
            const __m512d y3 = _mm512_mul_pd(_mm512_mul_pd(y, y), y);
            y = _mm512_mul_pd(
                y, _mm512_div_pd(_mm512_fmadd_pd(two, x, y3), _mm512_fmadd_pd(two, y3, x)));
        }
        const __m512d y3 = _mm512_mul_pd(_mm512_mul_pd(y, y), y);
        const __m512d root = _mm512_sub_pd(
            y, _mm512_div_pd(_mm512_mul_pd(y, _mm512_sub_pd(y3, x)), _mm512_fmadd_pd(two, y3, x)));
        const __m512d q = _mm512_mul_pd(
            _mm512_mul_pd(_mm512_mul_pd(_mm512_mul_pd(base, root), slope), inverse_n), size);
        const __m512d cap =
            _mm512_mul_pd(_mm512_min_pd(_mm512_mul_pd(face_fall, share), face_above), rate);
        _mm512_storeu_pd(flux + k, _mm512_mul_pd(sign, q));
        const __m512d mark = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(q, cap, _CMP_LE_OQ), one,
                                                  _mm512_maskz_mov_pd(special, one));
        _mm512_storeu_pd(redo + k, mark);
        marks = _mm512_or_si512(marks, _mm512_castpd_si512(mark));
    }
    return _mm512_test_epi64_mask(marks, marks) != 0;
}

// The rest of a batch, from face `first` on, one face at a time into the
// batch and then side by side as `face_batch_discharges` does it.
__attribute__((target("avx2"))) bool rest_of_batch_avx2(const FaceCells& c, const int* face_to,
                                                        int from, int first, int count,
                                                        double cell_size, double volume_rate,
                                                        FaceBatch& b, double* flux) {
    for (int k = first; k < count; ++k) {
        const int i = from + k;
        const int j = face_to[i] != 0 ? face_to[i] : i;
        store_face(
            b, k,
            lay_out_face(c.elevation[i], c.depth[i], c.retention[i], c.inverse_n[i], c.elevation[j],
                         c.depth[j], c.retention[j], c.inverse_n[j], c.tiny_fall));
    }
    cube_root_estimates(first, count, b);
    batch_arithmetic_avx2(first, count, b, cell_size, volume_rate, flux);
    std::uint64_t marks = 0;
    for (int k = first; k < count; ++k) marks |= std::bit_cast<std::uint64_t>(b.redo[k]);
    return marks != 0;
}
#endif
}  // namespace

void lay_out_faces(const FaceCells& c, const int* face_to, int from, int count, FaceBatch& b) {
    // The faces whose neighbours lie the same distance on (the next cell of
    // the row, the same cell of the next row) go side by side; the rest one
    // at a time, a cell without the face facing itself (no fall).
    int run = 0;
    if (face_to[from] != 0) {
        const int offset = face_to[from] - from;
        run = uniform_run(face_to, from, count, offset);
#if defined(__x86_64__) && defined(__GNUC__)
        if (has_avx2())
            lay_out_run_avx2(c, from, run, offset, b);
        else
#endif
            lay_out_run(c, from, run, offset, b);
    }
    const double* z = c.elevation;
    const double* h = c.depth;
    const double* r = c.retention;
    const double* n = c.inverse_n;
    for (int k = run; k < count; ++k) {
        const int i = from + k;
        const int j = face_to[i] != 0 ? face_to[i] : i;
        store_face(b, k, lay_out_face(z[i], h[i], r[i], n[i], z[j], h[j], r[j], n[j], c.tiny_fall));
    }
}

bool face_batch_discharges(int count, FaceBatch& b, double cell_size, double volume_rate,
                           double* flux) {
    cube_root_estimates(0, count, b);
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_avx2())
        batch_arithmetic_avx2(0, count, b, cell_size, volume_rate, flux);
    else
#endif
        batch_arithmetic(0, count, b, cell_size, volume_rate, flux);
    // Whether any face is marked, from the bits of the marks (0 is all
    // zero bits), which the vector lanes gather side by side.
    std::uint64_t marks = 0;
    for (int k = 0; k < count; ++k) marks |= std::bit_cast<std::uint64_t>(b.redo[k]);
    return marks != 0;
}

bool batch_face_discharges(const FaceCells& c, const int* face_to, int from, int count,
                           double cell_size, double volume_rate, FaceBatch& b, double* flux,
                           const UniformCells& known) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_avx2()) {
        // The faces whose neighbours lie the same distance on, in fours; the
        // rest as `lay_out_faces` and `face_batch_discharges` take them.
        int lanes = 0, offset = 0;
        if (known.holds(from)) {
            offset = known.offset;
            lanes = std::min(count, known.end - from) & ~3;
        } else if (face_to[from] != 0) {
            offset = face_to[from] - from;
            lanes = uniform_run(face_to, from, count, offset) & ~3;
        }
        bool marked = false;
        int wide = 0;
        if (has_avx512()) {
            wide = lanes & ~7;
            if (wide > 0)
                marked = faces_in_lanes_avx512(c, from, wide, offset, cell_size, volume_rate, flux,
                                               b.redo);
        }
        if (lanes > wide)
            marked |= faces_in_lanes_avx2(c, from + wide, lanes - wide, offset, cell_size,
                                          volume_rate, flux + wide, b.redo + wide);
        if (lanes < count)
            marked |=
                rest_of_batch_avx2(c, face_to, from, lanes, count, cell_size, volume_rate, b, flux);
        return marked;
    }
#endif
    lay_out_faces(c, face_to, from, count, b);
    return face_batch_discharges(count, b, cell_size, volume_rate, flux);
}

int update_span_cells(const CellUpdate& u, int begin, int end, double& cleanup,
                      const UniformCells& known) {
    int failed = 0;
    double clean[kFaceBatch];
    for (int from = begin; from < end; from += kFaceBatch) {
        const int count = std::min(kFaceBatch, end - from);
        int cleaned = 0;
        // Runs of cells whose upstream faces lie the same distance back (the
        // row's cells after its first, a row's cells below a full row).
        for (int j = 0; j < count;) {
            const int i = from + j;
            const bool uniform = known.holds(i);
            // A cell without an upstream face takes nothing through it.
            static constexpr double kNothing[1] = {0.0};
            const bool none = !uniform && u.face_from[i] == 0;
            const int offset = uniform ? known.offset : u.face_from[i] - i;
            const int run = uniform ? std::min(count - j, known.end - i)
                            : none  ? 1
                                    : uniform_run(u.face_from, i, count - j, offset);
            const double* upstream = none ? kNothing : u.flux + (i + offset - u.flux_base);
            failed += u.saved ? update_run_widest<true>(u, i, run, upstream, clean + j, cleaned)
                              : update_run_widest<false>(u, i, run, upstream, clean + j, cleaned);
            j += run;
        }
        // The cleanup adds up cell by cell, as the cells come; cells that
        // took none add 0, which changes nothing.
        if (cleaned > 0)
            for (int j = 0; j < count; ++j) cleanup += clean[j];
    }
    return failed;
}

}  // namespace torva
