#pragma once
// The ADE sweeps in vector lanes: the arithmetic of many faces side by side,
// and the cells' updates.

namespace torva {

// The faces of a run of cells go in batches of this many through the loops
// of `face_flows`.
inline constexpr int kFaceBatch = 128;

// One batch of faces as the first loop of `face_flows` lays it out: for each
// face, its giving cell's depth above retention (`above`), the base of the
// cube root (that depth on the cube root's fast path, else 1), the fall of the
// water surface towards the receiver, the giver's 1 / n, and the sign of the
// flow (+1 towards the neighbour, -1 back, 0 for no flow). `special` is 1 for
// a giver whose cube root leaves the fast path, or a fall too small for its
// gradient to be a normal number. The arithmetic fills `slope` with the
// first estimates of the cube roots of the bases' squares, `slope` with the
// square root of the gradient (fall / cell size) and `redo`.
struct FaceBatch {
    alignas(64) double base[kFaceBatch];
    alignas(64) double estimate[kFaceBatch];
    alignas(64) double slope[kFaceBatch];
    alignas(64) double fall[kFaceBatch];
    alignas(64) double above[kFaceBatch];
    alignas(64) double inverse_n[kFaceBatch];
    alignas(64) double sign[kFaceBatch];
    alignas(64) double special[kFaceBatch];
    alignas(64) double redo[kFaceBatch];
};

// The fields a batch of faces is laid out from.
struct FaceCells {
    const double* elevation;
    const double* depth;
    const double* retention;
    const double* inverse_n;
    // A fall below this goes to the face law, lest its gradient round to 0.
    double tiny_fall;
};

// Lays out the faces of cells from .. from + count - 1 (count at most
// kFaceBatch) in a batch; `face_to` gives each cell's neighbour across the
// face, 0 where it has none.
void lay_out_faces(const FaceCells& c, const int* face_to, int from, int count, FaceBatch& b);

// Manning's discharge and the levelling limit of every face of a batch,
// side by side in the widest vector lanes the processor has. Every lane
// rounds each operation as the one-face-at-a-time face law does, so the
// discharges are the same to the last bit whichever lanes ran. A face whose
// discharge the limit cuts, or whose cube root leaves the fast path, is
// marked in `redo` for the face law; the others get their discharge in `flux`.
// False when no face is marked.
bool face_batch_discharges(int count, FaceBatch& b, double cell_size, double volume_rate,
                           double* flux);

// Cells [begin, end) whose neighbours across the faces in question all lie
// `offset` cells away, as the grid's set-up found them (offset 0: not known,
// and the neighbour arrays say).
struct UniformCells {
    int begin = 0;
    int end = 0;
    int offset = 0;
    bool holds(int i) const { return offset != 0 && i >= begin && i < end; }
};

// Both of the above for the faces of cells from .. from + count - 1 into
// flux[0 .. count - 1]; where the processor has 256-bit lanes, the faces
// whose neighbours lie the same distance on go from their layout to their
// discharges four at a time without the batch's arrays. The same discharges
// and marks to the last bit. Over the cells `known` holds, the neighbour
// array is not read.
bool batch_face_discharges(const FaceCells& c, const int* face_to, int from, int count,
                           double cell_size, double volume_rate, FaceBatch& b, double* flux,
                           const UniformCells& known = {});

// A sweep's cells taking the discharges of their two faces of the direction:
// `flux` by cell, each cell's upstream face that of cell `face_from` (0: none,
// whose flux is 0), the face volumes of the model step so far, the depths,
// and where the depths are saved before the step (null but in its first
// sweep); `k` is the sub-step over the cell area.
struct CellUpdate {
    // flux[i - flux_base] is the discharge of cell i's face; a cell whose
    // face_from is 0 takes nothing through its upstream face.
    const double* flux;
    const int* face_from;
    double* face_volume;
    double* depth;
    double* saved;
    double sub_step;
    double k;
    bool first_sub_step;
    int flux_base = 0;
};

// Updates cells begin .. end - 1 as overland_law::ade_depth_update does,
// side by side in vector lanes where the cells' upstream faces lie the same
// distance back; returns how many cells fail the sub-step and adds the
// cleanup (m) to `cleanup` cell by cell in their order.
// Over the cells `known` holds, the upstream faces are not read from
// `face_from`.
int update_span_cells(const CellUpdate& u, int begin, int end, double& cleanup,
                      const UniformCells& known = {});

}  // namespace torva
