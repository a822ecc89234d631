#pragma once
// The ADE faces in batches: the arithmetic of many faces side by side.

namespace torva {

// The faces of a run of cells go in batches of this many through the loops
// of `face_flows`.
inline constexpr int kFaceBatch = 128;

// One batch of faces as the first loop of `face_flows` lays it out: for each
// face, its giving cell's depth above retention (`above`), the square of that
// depth and the first estimate of the square's cube root, |slope|, the fall
// of the water surface towards the receiver, the giver's 1 / n, and the sign
// of the flow (+1 towards the neighbour, -1 back, 0 for no flow). `special`
// is 1 for a giver whose cube root leaves the fast path.
struct FaceBatch {
    alignas(64) double base[kFaceBatch];
    alignas(64) double square[kFaceBatch];
    alignas(64) double estimate[kFaceBatch];
    alignas(64) double slope[kFaceBatch];
    alignas(64) double fall[kFaceBatch];
    alignas(64) double above[kFaceBatch];
    alignas(64) double inverse_n[kFaceBatch];
    alignas(64) double sign[kFaceBatch];
    alignas(64) double special[kFaceBatch];
    alignas(64) double redo[kFaceBatch];
};

// Manning's discharge and the levelling limit of every face of a batch,
// side by side in the widest vector lanes the processor has. Every lane
// rounds each operation as the one-face-at-a-time face law does, so the
// discharges are the same to the last bit whichever lanes ran. A face whose
// discharge the limit cuts, or whose cube root leaves the fast path, is
// marked in `redo` for the face law; the others get their discharge in `flux`.
void face_batch_discharges(int count, FaceBatch& b, double cell_size, double volume_rate,
                           double* flux);

}  // namespace torva
