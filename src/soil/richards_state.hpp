#pragma once
// Soil columns of Richards equation infiltration: the soil table, the node
// layout of each soil type, and the heads and water contents of every cell's
// column. Plain data only.

#include <array>
#include <cstddef>
#include <vector>

#include "core/arrays.hpp"

namespace torva {

// Soil-water relations of the columns.
enum class SoilWaterRelation { brooks_corey, havercamp };
// Conductivity of the face between two nodes.
enum class FaceConductivity { arithmetic, geometric };
// Conductivity of the surface face while water ponds on it.
enum class PondedConductivity { first_node, saturated, average };
// What holds the bottom of a column.
enum class ColumnBottom { free_drainage, water_table };
// What holds the top of a column during a sub-step.
enum class ColumnTop : unsigned char { flux = 1, ponded_head = 2 };

// One soil layer of a soil type, in model units (m, m/s).
struct RichardsLayer {
    double conductivity = 0.0;  // Ks, m/s
    double theta_s = 0.0;
    double theta_r = 0.0;
    double theta_i = 0.0;    // initial water content
    double thickness = 0.0;  // m
    double spacing = 0.0;    // node spacing, m
    double wilting_point = 0.0;
    double field_capacity = 0.0;
    double root_share = 0.0;  // share of the root uptake taken from this layer
    // Brooks-Corey.
    double pore_index = 0.0;     // lambda
    double bubbling_head = 0.0;  // hb, m, negative
    // The parabola between the junction and saturation joins the power law
    // with the same water content and capacity: S_c = 2 / (2 + lambda),
    // h_c = hb * (1 + lambda / 2)^(1 / lambda).
    double junction_head = 0.0;   // h_c, m (BChc)
    double junction_theta = 0.0;  // theta at h_c (thehac)
    // Havercamp.
    double alpha = 0.0;  // m
    double beta = 0.0;
    double a = 0.0;  // A, m^B
    double b = 0.0;  // B
};

// The Brooks-Corey relations of one node with its layer's constants folded
// in, for the columns' hottest loop (see brooks_corey_node).
struct BrooksCoreyNode {
    double bubbling_head = 0.0;      // hb, m
    double junction_head = 0.0;      // h_c, m
    double half_lambda = 0.0;        // lambda / 2
    double theta_r = 0.0;            // residual water content
    double range = 0.0;              // theta_s - theta_r
    double theta_s = 0.0;            // saturated water content
    double conductivity = 0.0;       // Ks, m/s
    double root_conductivity = 0.0;  // sqrt(Ks)
    double dry_capacity = 0.0;       // (theta_s - theta_r) lambda / -hb, 1/m
    double wet_share = 0.0;          // 1 - S_c
    double wet_half_power = 0.0;     // (3 + 2 / lambda) / 2
    double wet_capacity = 0.0;       // -2 (1 - S_c) (theta_s - theta_r) / h_c, 1/m
};

// A soil type: its three layers and the nodes they make, from the top.
struct RichardsSoilType {
    std::array<RichardsLayer, 3> layers{};
    bool given = false;
    int nodes = 0;                        // soil nodes, the bottom node not counted
    std::vector<int> node_layer;          // 0..2 per node (index 0 = first node)
    std::vector<double> node_dz;          // node thickness, m
    std::vector<double> node_depth;       // depth of the node's centre, m
    std::vector<double> node_inverse_dz;  // 1 / node thickness, 1/m
    std::vector<double> root_weight;      // share of the cell's root uptake per node
    // 1 / distance between the centres of node i - 1 and node i, 1/m (entry 0 unused).
    std::vector<double> face_inverse_distance;
    std::vector<BrooksCoreyNode> brooks_corey_node;  // per node, with Brooks-Corey
    std::vector<double> node_theta_r;                // residual water content per node
    double root_depth = 0.0;                         // thickness of the nodes with roots, m
    int root_nodes = 0;                              // the deepest node with roots, plus one
    // Over an aquifer: the deepest initial water table under a cell of this
    // soil, m below the surface; the nodes of AQUIFER_DELTA_Z reach it.
    double water_table_depth = 0.0;
    int soil_nodes = 0;  // nodes of the soil layers and the bottom node
    double depth = 0.0;  // the bottom of the last node below the surface, m
};

// The slow soil at the bottom of a column: below a wetting front, where the
// soil lies still over some nodes, the nodes further down are solved over
// many model steps at once, in sub-steps of their own, while the nodes above
// run the step's short sub-steps. What the nodes above pass down is put into
// the first slow node as it flows, so the column's water is exact at every
// moment.
struct SlowSoil {
    int first = 0;          // first slow node; none when 0 or the column's node count
    double behind = 0.0;    // s the slow nodes lag behind the nodes above
    double interval = 0.0;  // s they may lag before they are brought forward
    // The conductivity of the first slow node, which holds the bottom of the
    // nodes above, at the head it was evaluated at: the slow nodes' heads
    // stand still between catching up, so it serves step after step.
    int bottom_node = -1;
    double bottom_head = 0.0;          // m
    double bottom_conductivity = 0.0;  // m/s
};

// How the heads of a column's nodes moved in its last two sub-steps, carried
// from one step to the next: the Picard iteration of every sub-step, the
// first of a step among them, starts from the heads these trends lead to.
struct HeadTrends {
    double last_tau = 0.0;         // s, the last sub-step
    double before_last_tau = 0.0;  // s, the one before it
    int known = 0;                 // sub-steps the trends come from, at most 2
    int nodes = 0;                 // nodes with trends, from the top
};

// The soil-water relations of a node at the head they were last evaluated
// at, kept with the column from one step to the next (settings.stride of them
// a column, from the top, in RichardsColumns::relations; the four numbers of
// a node side by side, so the nodes a step works on lie in a few cache
// lines). Evaluating them is the costliest work of a node, and a node whose
// head has barely moved since is not evaluated again.
struct NodeRelation {
    double head;          // m, the head they were evaluated at (not a number: never)
    double theta;         // water content
    double conductivity;  // sqrt(K) with Brooks-Corey, K (m/s) with Havercamp
    double capacity;      // 1/m
};

// Per-thread scratch of the column solver, sized once at set-up.
// Each thread's scratch, and each of its arrays, lies on cache lines of its
// own (see CacheLineAllocator): the arrays are written at every sub-step,
// and the trends' arrays trade places by their headers.
struct alignas(64) RichardsScratch {
    // The tridiagonal system (its entries off the diagonal are the faces'
    // conductances) and the solve's eliminated entries.
    LineVector<double> diagonal, rhs, eliminated;
    LineVector<double> head_old, theta_old;
    LineVector<double> head_trend;    // change of head a second in the last sub-step
    LineVector<double> trend_before;  // the same in the sub-step before it
    LineVector<double> trend_spare;   // the trend of the sub-step in hand
    LineVector<double> face_k, face_g, flux, source;
    // How fast each node's water content, or the water it passes down,
    // changed when it was last solved, 1/s.
    LineVector<double> pace;
    // The nodes whose relations an iteration evaluates again.
    LineVector<int> moved_nodes;
};

struct RichardsColumns {
    // ---- Settings, decided once at set-up ----
    SoilWaterRelation relation = SoilWaterRelation::brooks_corey;
    FaceConductivity face = FaceConductivity::geometric;
    PondedConductivity ponded = PondedConductivity::first_node;
    ColumnBottom bottom = ColumnBottom::free_drainage;
    double upper_weight = 1.0;   // weight of the upper node in the arithmetic mean
    double dtheta_max = 0.0025;  // largest water-content change a sub-step aims at
    int iter_max = 1;
    // Below the soil layers, nodes of this spacing reach down towards the
    // water table when the columns sit on an aquifer (AQUIFER_DELTA_Z), m.
    double aquifer_spacing = 0.0;
    bool root_uptake = false;  // long-term runs: potential ET comes from the hydrometeorology
    // The soil below a wetting front runs in long sub-steps of its own (see
    // SlowSoil); off, every node takes every sub-step.
    bool slow_soil = true;

    // ---- Soil table, by soil index (entry 0 unused) ----
    std::vector<RichardsSoilType> types;
    int max_nodes = 0;       // largest node count of a column, the bottom node not counted
    std::size_t stride = 0;  // entries per cell in the node arrays

    // ---- Per cell ----
    std::vector<int> soil_type;      // soil index of each cell
    std::vector<double> substep;     // the length the next sub-step starts from, s
    std::vector<ColumnTop> top;      // the upper boundary the last sub-step ended with
    std::vector<SlowSoil> slow;      // the slow soil at the bottom of each column
    std::vector<HeadTrends> trends;  // how each column's heads last moved
    // Water held by the root-zone nodes, m; kept after every step only in the
    // runs with potential evapotranspiration, whose hourly report reads it.
    std::vector<double> root_zone_water;
    std::vector<unsigned char> failed;  // the column met a value that cannot be real
    std::vector<int> failed_node;
    std::vector<double> failed_time;  // s into the step
    // Over an aquifer: the part of the aquifer's water (m) that stands within
    // the column, above its bottom. The column's nodes hold that water, so the
    // aquifer's storage leaves it out; each step the column takes in (or
    // gives up) what the water table's rise (or fall) added to it.
    std::vector<double> aquifer_share;
    // Per cell and node (cell * stride + node, node 0 the first): pressure
    // head (m) and water content.
    std::vector<double> head;
    std::vector<double> theta;
    // Per cell, node and trend (cell * 2 * stride + node for the trend of the
    // last sub-step, + stride for the one before): the change of head a
    // second. Single precision is plenty for where an iteration starts.
    std::vector<float> trend;
    // Per cell and node (cell * stride + node): the node's relations at the
    // head they were last evaluated at (see NodeRelation).
    std::vector<NodeRelation> relations;

    // ---- Counts of the whole run ----
    long long substeps = 0;
    long long iterations = 0;
    long long unsettled_substeps = 0;  // reached the iteration limit unconverged
    long long slow_substeps = 0;       // sub-steps of slow soil
    long long column_steps = 0;
    double from_water_table = 0.0;  // m3 the moving water table handed to the columns
    // The same per cell for the step in hand, summed on one thread after it.
    std::vector<int> step_substeps;
    std::vector<int> step_iterations;
    std::vector<int> step_unsettled;
    std::vector<int> step_slow_substeps;
    std::vector<double> step_infiltrated;       // m through the surface
    std::vector<double> step_drained;           // m out of the bottom
    std::vector<double> step_uptake;            // m taken by the roots
    std::vector<double> step_canopy_et;         // m evaporated from the canopy's water
    std::vector<double> step_ponded_et;         // m evaporated from water on the ground
    std::vector<double> step_from_water_table;  // m handed over by the moving water table

    std::vector<RichardsScratch> scratch;  // one per thread

    bool active() const { return !types.empty(); }
};

}  // namespace torva
