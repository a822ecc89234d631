#pragma once
// The two ADE sweeps of a sub-step without lakes, in one pass down the rows
// of the wet spans: the grid's fields come from memory once a sub-step
// rather than once a sweep.

namespace torva {

struct Overland;

// One direction of the grid: the neighbour across each cell's downstream
// face (0 where no water crosses it), the neighbour across the opposite face,
// and the face arrays of that direction.
struct SweepFaces {
    const int* face_to;
    const int* face_from;
    double* flux;
    double* face_volume;  // m3 over the sub-steps of the model step
    // Every face joins two cells of one row of the grid (the east faces).
    bool within_rows = false;
    // Per row, the offset of face_to and of face_from where every cell of the
    // row has its neighbour that far (Overland::row_east_offset and the like).
    const int* row_to_offset = nullptr;
    const int* row_from_offset = nullptr;
};

// The cells' fields the faces read.
struct SweepFields {
    const double* elevation;
    const double* retention;
    const double* inverse_n;
    double cell_size;
};

// What the two sweeps did: the cells that failed the sub-step in either, and
// the cleanup of each (m, summed row by row in the rows' order).
struct SweepPair {
    int failures = 0;
    double first_cleanup = 0.0;
    double second_cleanup = 0.0;
};

// The sweeps `first` and then `second` (one along the rows, one across them)
// of `sub_step` seconds over the cells of the spans, each with its stability
// test, as two sweeps one after the other would leave them: every depth,
// discharge and cleanup the same to the last bit. The first sweep saves the
// depths it starts from into `saved`, when given; the first sub-step starts
// the face volumes afresh. The second sweep runs even where the first failed
// (the step then starts again from the saved depths).
SweepPair ade_sweep_pair(Overland& ov, const SweepFields& f, double* depth, double* saved,
                         const SweepFaces& first, const SweepFaces& second, double sub_step,
                         bool first_sub_step, bool parallel);

}  // namespace torva
