#pragma once
// The faces between lake cells and the land, shared by the lake forms of the
// overland schemes: the water they carry goes into the lakes' pending
// volumes, a lake never gives the land more than it holds, and the level the
// faces see falls while a lake gives.

#include <initializer_list>

namespace torva {

struct Model;

// The faces of one direction: the neighbour across each cell's east or
// south face (0 where no water crosses it) and their discharges, positive
// towards that neighbour.
struct LakeFaces {
    const int* face_to;
    double* flux;
};

// The level each overland lake shows its faces: its level at the last lake
// update, or lower when the water it has given since leaves it lower.
void refresh_lake_surfaces(Model& model);

// Scales down the faces by which an overland lake gives water to the land so
// that, together, they take no more than half of what the lake holds with
// what has moved into it since its last update: a lake never gives more than
// it holds. `volume_per_flux` turns a face's discharge into the volume it
// moves in the (sub-)step.
void limit_lake_outflow(Model& model, std::initializer_list<LakeFaces> directions,
                        double volume_per_flux);

// Adds the water that crossed the faces between lake cells (of either kind)
// and ordinary cells to the lakes, signed positive into the lake.
void add_lake_exchange(Model& model, LakeFaces faces, double volume_per_flux);

}  // namespace torva
