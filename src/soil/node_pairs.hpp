#pragma once
// Two nodes of a soil column at a time: the column loops whose nodes do not
// depend on one another take their nodes in pairs, in the two lanes of one
// 128-bit register. Each lane rounds every operation as the scalar code
// does (no fused multiply-add is asked for), so a pair gives the same
// numbers to the last digit as the nodes one by one; the arithmetic is
// written once, as templates that take a node or a pair.

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace torva {

using NodePair = double __attribute__((vector_size(16)));
using PairMask = std::int64_t __attribute__((vector_size(16)));

inline NodePair load_pair(const double* p) {
    NodePair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store_pair(double* p, NodePair v) {
    std::memcpy(p, &v, sizeof v);
}

// Two single-precision values (the columns' trends) as a pair of doubles,
// and a pair rounded to single precision, each lane as a scalar conversion.
using FloatPair = float __attribute__((vector_size(8)));

inline NodePair load_float_pair(const float* p) {
    FloatPair v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, NodePair);
}

inline void store_float_pair(float* p, NodePair v) {
    const FloatPair f = __builtin_convertvector(v, FloatPair);
    std::memcpy(p, &f, sizeof f);
}

inline NodePair pair_of(double x) {
    return NodePair{x, x};
}

// |x| by its sign bit, as std::fabs.
inline double magnitude(double x) {
    return __builtin_fabs(x);
}
inline NodePair magnitude(NodePair x) {
    constexpr PairMask kMagnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
    return reinterpret_cast<NodePair>(reinterpret_cast<PairMask>(x) & kMagnitude);
}

// The larger of a and b as std::max(a, b) has it: a unless a < b.
inline double larger(double a, double b) {
    return a < b ? b : a;
}
inline NodePair larger(NodePair a, NodePair b) {
#if defined(__SSE2__)
    // The processor's maximum takes its first operand where it is greater
    // and its second otherwise: b > a ? b : a, the same as a < b ? b : a
    // for every pair, not a number and zeros of either sign included.
    return _mm_max_pd(b, a);
#else
    return a < b ? b : a;
#endif
}

// Whether x, or any lane of x, lies above high or below low (a value that is
// not a number does neither).
inline bool any_outside(double x, double low, double high) {
    return x > high || x < low;
}
inline bool any_outside(NodePair x, double low, double high) {
#if defined(__SSE2__)
    return _mm_movemask_pd(_mm_or_pd(_mm_cmpgt_pd(x, _mm_set1_pd(high)),
                                     _mm_cmplt_pd(x, _mm_set1_pd(low)))) != 0;
#else
    return x[0] > high || x[0] < low || x[1] > high || x[1] < low;
#endif
}

// The lanes where x is not at most bound (a lane that is not a number is
// among them), as the bits 1 (first lane) and 2 (second lane).
inline int lanes_beyond(NodePair x, NodePair bound) {
#if defined(__SSE2__)
    return _mm_movemask_pd(_mm_cmpnle_pd(x, bound));
#else
    return (x[0] <= bound[0] ? 0 : 1) | (x[1] <= bound[1] ? 0 : 2);
#endif
}

// Whether any lane of a comparison holds.
inline bool any(PairMask m) {
#if defined(__SSE2__)
    // The lanes' sign bits in one instruction, rather than each lane taken
    // out of the register on its own.
    return _mm_movemask_pd(reinterpret_cast<__m128d>(m)) != 0;
#else
    return (m[0] | m[1]) != 0;
#endif
}

}  // namespace torva
