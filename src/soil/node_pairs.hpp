#pragma once
// Two nodes of a soil column at a time: the column loops whose nodes do not
// depend on one another take their nodes in pairs, in the two lanes of one
// 128-bit register. Each lane rounds every operation as the scalar code
// does (no fused multiply-add is asked for), so a pair gives the same
// numbers to the last digit as the nodes one by one; the arithmetic is
// written once, as templates that take a node or a pair.

#include <cstdint>
#include <cstring>

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
    return a < b ? b : a;
}

// Whether any lane of a comparison holds.
inline bool any(PairMask m) {
    return (m[0] | m[1]) != 0;
}

}  // namespace torva
