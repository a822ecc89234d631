#pragma once
// Vector lanes of 128, 256 and 512 bits behind one set of operations, so that
// a kernel is written once and compiled for each width. Each operation is the
// instruction the lanes have for it, rounded as the scalar operation is.
// Sums, differences, products and quotients a kernel writes with the
// compiler's vector operators (+ - * /), which is what GCC's intrinsics for
// them are.
//
// A kernel takes the lanes as a template parameter and is called from a
// function compiled for the processor the lanes need
// (`__attribute__((target("avx2"), flatten))`, say): the operations of the
// wider lanes are compiled for that processor only, and `flatten` puts them
// in place there.

#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
// GCC 12 takes the 512-bit intrinsics' undefined inputs (their unused
// merge operands) for uninitialised values.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace torva::lanes {

// One double, for a build without SSE2.
struct OneLane {
    static constexpr int kWidth = 1;
    using Real = double;

    static Real splat(double x) { return x; }
    static Real load(const double* p) { return *p; }
    static void store(double* p, Real x) { *p = x; }
    static Real sqrt(Real x) { return std::sqrt(x); }
};

#if defined(__SSE2__)
// Two doubles, on every processor with SSE2.
struct Lanes128 {
    static constexpr int kWidth = 2;
    using Real = __m128d;

    static Real splat(double x) { return _mm_set1_pd(x); }
    static Real load(const double* p) { return _mm_loadu_pd(p); }
    static void store(double* p, Real x) { _mm_storeu_pd(p, x); }
    static Real sqrt(Real x) { return _mm_sqrt_pd(x); }
};

// The lanes every processor the program is built for has.
using NarrowLanes = Lanes128;
#else
using NarrowLanes = OneLane;
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define TORVA_LANES_256 __attribute__((target("avx2")))
#define TORVA_LANES_512 __attribute__((target("avx512f")))

// Four doubles (AVX2). Masks are lanes of all-one or all-zero bits.
struct Lanes256 {
    static constexpr int kWidth = 4;
    using Real = __m256d;
    using Bits = __m256i;
    using Mask = __m256d;

    TORVA_LANES_256 static Real splat(double x) { return _mm256_set1_pd(x); }
    TORVA_LANES_256 static Bits splat_bits(std::uint64_t x) {
        return _mm256_set1_epi64x(static_cast<std::int64_t>(x));
    }
    TORVA_LANES_256 static Real load(const double* p) { return _mm256_loadu_pd(p); }
    TORVA_LANES_256 static void store(double* p, Real x) { _mm256_storeu_pd(p, x); }

    TORVA_LANES_256 static Real sqrt(Real x) { return _mm256_sqrt_pd(x); }
    TORVA_LANES_256 static Real min(Real a, Real b) { return _mm256_min_pd(a, b); }
    TORVA_LANES_256 static Real abs(Real x) {
        return _mm256_and_pd(x, _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFF)));
    }

    // Not equal, or either not a number.
    TORVA_LANES_256 static Mask unequal(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_NEQ_UQ); }
    // Not less, or either not a number.
    TORVA_LANES_256 static Mask not_less(Real a, Real b) {
        return _mm256_cmp_pd(a, b, _CMP_NLT_UQ);
    }
    TORVA_LANES_256 static Mask greater(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GT_OQ); }
    TORVA_LANES_256 static Mask less(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    TORVA_LANES_256 static Mask at_least(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_GE_OQ); }
    TORVA_LANES_256 static Mask at_most(Real a, Real b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    TORVA_LANES_256 static Mask both(Mask a, Mask b) { return _mm256_and_pd(a, b); }
    TORVA_LANES_256 static Mask either(Mask a, Mask b) { return _mm256_or_pd(a, b); }
    // a and not b.
    TORVA_LANES_256 static Mask but_not(Mask a, Mask b) { return _mm256_andnot_pd(b, a); }
    // `yes` where the mask holds, else `no`.
    TORVA_LANES_256 static Real select(Mask m, Real yes, Real no) {
        return _mm256_blendv_pd(no, yes, m);
    }
    // x where the mask holds, else 0.
    TORVA_LANES_256 static Real keep(Mask m, Real x) { return _mm256_and_pd(m, x); }
    // A bit for each lane where the mask holds, the first lane's lowest.
    TORVA_LANES_256 static unsigned lanes_of(Mask m) {
        return static_cast<unsigned>(_mm256_movemask_pd(m));
    }

    TORVA_LANES_256 static Bits bits(Real x) { return _mm256_castpd_si256(x); }
    TORVA_LANES_256 static Real real(Bits x) { return _mm256_castsi256_pd(x); }
    // The products of the lower 32-bit halves of each lane, 64 bits wide.
    TORVA_LANES_256 static Bits multiply_low(Bits a, Bits b) { return _mm256_mul_epu32(a, b); }
    template <int kShift>
    TORVA_LANES_256 static Bits shift_right(Bits x) {
        return _mm256_srli_epi64(x, kShift);
    }
    TORVA_LANES_256 static Bits add(Bits a, Bits b) { return _mm256_add_epi64(a, b); }
    TORVA_LANES_256 static Bits both_bits(Bits a, Bits b) { return _mm256_and_si256(a, b); }
    TORVA_LANES_256 static Bits either_bits(Bits a, Bits b) { return _mm256_or_si256(a, b); }
    TORVA_LANES_256 static bool any(Bits x) { return _mm256_testz_si256(x, x) == 0; }
};

// Eight doubles (AVX-512F). Masks are bit masks, one bit a lane.
struct Lanes512 {
    static constexpr int kWidth = 8;
    using Real = __m512d;
    using Bits = __m512i;
    using Mask = __mmask8;

    TORVA_LANES_512 static Real splat(double x) { return _mm512_set1_pd(x); }
    TORVA_LANES_512 static Bits splat_bits(std::uint64_t x) {
        return _mm512_set1_epi64(static_cast<std::int64_t>(x));
    }
    TORVA_LANES_512 static Real load(const double* p) { return _mm512_loadu_pd(p); }
    TORVA_LANES_512 static void store(double* p, Real x) { _mm512_storeu_pd(p, x); }

    TORVA_LANES_512 static Real sqrt(Real x) { return _mm512_sqrt_pd(x); }
    TORVA_LANES_512 static Real min(Real a, Real b) { return _mm512_min_pd(a, b); }
    TORVA_LANES_512 static Real abs(Real x) { return _mm512_abs_pd(x); }

    TORVA_LANES_512 static Mask unequal(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_NEQ_UQ);
    }
    TORVA_LANES_512 static Mask not_less(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_NLT_UQ);
    }
    TORVA_LANES_512 static Mask greater(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_GT_OQ);
    }
    TORVA_LANES_512 static Mask less(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ);
    }
    TORVA_LANES_512 static Mask at_least(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_GE_OQ);
    }
    TORVA_LANES_512 static Mask at_most(Real a, Real b) {
        return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ);
    }
    TORVA_LANES_512 static Mask both(Mask a, Mask b) { return a & b; }
    TORVA_LANES_512 static Mask either(Mask a, Mask b) { return a | b; }
    TORVA_LANES_512 static Mask but_not(Mask a, Mask b) { return a & static_cast<Mask>(~b); }
    TORVA_LANES_512 static Real select(Mask m, Real yes, Real no) {
        return _mm512_mask_blend_pd(m, no, yes);
    }
    TORVA_LANES_512 static Real keep(Mask m, Real x) { return _mm512_maskz_mov_pd(m, x); }
    TORVA_LANES_512 static unsigned lanes_of(Mask m) { return m; }

    TORVA_LANES_512 static Bits bits(Real x) { return _mm512_castpd_si512(x); }
    TORVA_LANES_512 static Real real(Bits x) { return _mm512_castsi512_pd(x); }
    TORVA_LANES_512 static Bits multiply_low(Bits a, Bits b) { return _mm512_mul_epu32(a, b); }
    template <int kShift>
    TORVA_LANES_512 static Bits shift_right(Bits x) {
        return _mm512_srli_epi64(x, kShift);
    }
    TORVA_LANES_512 static Bits add(Bits a, Bits b) { return _mm512_add_epi64(a, b); }
    TORVA_LANES_512 static Bits both_bits(Bits a, Bits b) { return _mm512_and_si512(a, b); }
    TORVA_LANES_512 static Bits either_bits(Bits a, Bits b) { return _mm512_or_si512(a, b); }
    TORVA_LANES_512 static bool any(Bits x) { return _mm512_test_epi64_mask(x, x) != 0; }
};

#undef TORVA_LANES_256
#undef TORVA_LANES_512
#endif

// The widest lanes the processor has, in bits: 512 with AVX-512F, 256 with
// AVX2, else 128.
inline int processor_lane_bits() {
#if defined(__x86_64__) && defined(__GNUC__)
    static const int bits = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx2") == 0)
            return 128;
        return __builtin_cpu_supports("avx512f") != 0 ? 512 : 256;
    }();
    return bits;
#else
    return 128;
#endif
}

}  // namespace torva::lanes
