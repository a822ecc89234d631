// Columns that stand on the water table share the ground with the aquifer:
// between the column's bottom and the water table the same pores are both
// the column's saturated nodes and the aquifer's saturated thickness. The
// column is the finer of the two, so that water is the column's: the aquifer
// counts only what lies below the column, and when the water table rises
// into the column (or falls inside it) the aquifer's gain (or loss) there is
// handed to the column's nodes. Each cubic metre is then held once.

#include <algorithm>
#include <cmath>

#include "core/model_state.hpp"
#include "soil/richards.hpp"
#include "soil/richards_relations.hpp"

namespace torva {
namespace {

// Heads of nodes whose water content the water table changed: saturated
// nodes below the water table stand at their hydrostatic head, the others
// at the suction that holds their water.
void reset_head(const RichardsColumns& rc, const RichardsSoilType& type, int j, double* head,
                const double* theta, double depth_to_water) {
    const RichardsLayer& l = type.layers[type.node_layer[j]];
    if (theta[j] >= l.theta_s)
        head[j] = std::max(type.node_depth[j] - depth_to_water, 0.0);
    else
        head[j] = head_of_theta(rc.relation, l, theta[j]);
}

}  // namespace

double aquifer_water_in_column(const RichardsSoilType& type, double depth_to_water,
                               double depth_to_bottom, double specific_yield) {
    const double floor = std::min(type.depth, depth_to_bottom);
    if (!(floor > 0.0))
        return 0.0;
    return specific_yield * std::clamp(floor - depth_to_water, 0.0, floor);
}

double hand_water_table_change_to_column(const RichardsColumns& rc, const RichardsSoilType& type,
                                         double* head, double* theta, double change,
                                         double depth_to_water, double specific_yield) {
    const int n = type.nodes;
    double left = change;
    if (change > 0.0) {
        // A rising water table fills the column from below.
        for (int j = n - 1; j >= 0 && left > 0.0; --j) {
            const RichardsLayer& l = type.layers[type.node_layer[j]];
            const double room = (l.theta_s - theta[j]) * type.node_dz[j];
            if (room <= 0.0)
                continue;
            const double take = std::min(room, left);
            theta[j] = take == room ? l.theta_s : theta[j] + take / type.node_dz[j];
            left -= take;
            reset_head(rc, type, j, head, theta, depth_to_water);
        }
        return change - left;
    }
    // A falling water table drains what it leaves: the nodes above it give
    // up to the specific yield over their part above it, nearest first, and
    // any node then down to its residual water content.
    for (int pass = 0; pass < 2 && left < 0.0; ++pass) {
        for (int j = n - 1; j >= 0 && left < 0.0; --j) {
            const RichardsLayer& l = type.layers[type.node_layer[j]];
            const double dz = type.node_dz[j];
            double floor_theta = l.theta_r;
            double height = dz;
            if (pass == 0) {
                const double top = type.node_depth[j] - 0.5 * dz;
                height = std::clamp(depth_to_water - top, 0.0, dz);
                floor_theta = std::max(l.theta_s - specific_yield * height / dz, l.theta_r);
            }
            const double can_give = (theta[j] - floor_theta) * dz;
            if (height <= 0.0 || can_give <= 0.0)
                continue;
            const double give = std::min(can_give, -left);
            theta[j] = give == can_give ? floor_theta : theta[j] - give / dz;
            left += give;
            reset_head(rc, type, j, head, theta, depth_to_water);
        }
    }
    return change - left;
}

void prepare_richards_water_table(Model& model) {
    RichardsColumns& rc = model.soil.richards;
    const Groundwater& gw = model.groundwater;
    const int n = model.grid.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    if (rc.bottom != ColumnBottom::water_table || rc.aquifer_share.size() != size ||
        gw.cell.size() != size)
        return;
    // The nodes below the initial water table start saturated: the column
    // holds the aquifer's water down to its bottom from the start.
    for (int i = 1; i <= n; ++i) {
        rc.aquifer_share[i] = 0.0;
        if (gw.cell[i] == AquiferCell::outside)
            continue;
        const double surface = model.grid.elevation[i];
        rc.aquifer_share[i] =
            aquifer_water_in_column(rc.types[rc.soil_type[i]], surface - gw.head[i],
                                    surface - gw.bottom[i], gw.porosity[i]);
    }
}

}  // namespace torva
