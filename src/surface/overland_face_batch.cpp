#include "surface/overland_face_batch.hpp"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "surface/overland_laws.hpp"

namespace torva {
namespace {

namespace law = overland_law;

// The arithmetic of a batch, every face side by side: Manning's discharge
// h^(5/3) sqrt(S) / n dx and the levelling limit of the face. The cube roots'
// divisions and the square roots of neighbouring faces overlap in the
// processor instead of waiting on one another, and each lane does the
// scalar operations in the scalar order, so every result is the same to the
// last bit. A face whose discharge the limit cuts, or whose cube root leaves
// the fast path, is marked in `redo` for the face law itself; the others get
// their discharge in `flux`. Written without branches, so that the loop runs
// in vector lanes.
__attribute__((always_inline)) inline void batch_discharges(int count, FaceBatch& b,
                                                            double cell_size, double volume_rate,
                                                            double* flux) {
    for (int k = 0; k < count; ++k) {
        const double five_thirds = b.base[k] * law::cube_root_refined(b.square[k], b.estimate[k]);
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

void batch_arithmetic(int count, FaceBatch& b, double cell_size, double volume_rate, double* flux) {
#if defined(__SSE2__)
    int k = 0;
    for (; k + 2 <= count; k += 2)
        _mm_storeu_pd(b.slope + k, _mm_sqrt_pd(_mm_loadu_pd(b.slope + k)));
    for (; k < count; ++k) b.slope[k] = std::sqrt(b.slope[k]);
#else
    for (int k = 0; k < count; ++k) b.slope[k] = std::sqrt(b.slope[k]);
#endif
    batch_discharges(count, b, cell_size, volume_rate, flux);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The same on processors with 256-bit lanes: four faces at a time. Without
// fused multiply-add the lanes round every operation as the scalar code does.
__attribute__((target("avx2"))) void batch_arithmetic_avx2(int count, FaceBatch& b,
                                                           double cell_size, double volume_rate,
                                                           double* flux) {
    int k = 0;
    for (; k + 4 <= count; k += 4)
        _mm256_storeu_pd(b.slope + k, _mm256_sqrt_pd(_mm256_loadu_pd(b.slope + k)));
    for (; k < count; ++k) b.slope[k] = std::sqrt(b.slope[k]);
    batch_discharges(count, b, cell_size, volume_rate, flux);
}

// TORVA_NARROW_LANES=1 keeps the faces in the 128-bit lanes on any
// processor, so that a run can be checked against one in the wide lanes.
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
#endif

}  // namespace

void face_batch_discharges(int count, FaceBatch& b, double cell_size, double volume_rate,
                           double* flux) {
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_avx2()) {
        batch_arithmetic_avx2(count, b, cell_size, volume_rate, flux);
        return;
    }
#endif
    batch_arithmetic(count, b, cell_size, volume_rate, flux);
}

}  // namespace torva
