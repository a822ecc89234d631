#pragma once
// The channel router's own state: its settings, the working arrays of the
// predictor-corrector, and what it remembers from one channel step to the
// next. Created at the first channel step and kept for the run.

#include <vector>

#include "channel/channel_state.hpp"

namespace torva {

// What the routing keeps per structure element between evaluations.
struct StructureWork {
    double transition = 0.0;  // culvert transition coefficient
    bool transition_known = false;
    int series_hint = 0;  // remembered interval of a scheduled release
};

struct ChannelRouter {
    bool prepared = false;
    bool seeded = false;  // the predictor and corrector discharges hold values

    // Settings decided once from the cards.
    double max_courant = 0.2;         // MAX_COURANT_NUMBER
    bool overbank_flow = false;       // OVERBANK_FLOW: channels may flood their cells
    bool overland_backwater = false;  // OVERLAND_BACKWATER: a high channel holds back inflow
    bool head_boundary = false;       // HEAD_BOUND at the outlet
    double boundary_depth = 0.0;      // BOUND_DEPTH, m
    int boundary_series = -1;         // BOUND_TS: position in the time series list
    int boundary_hint = 0;
    // The boundary depth of the current step, m: the outlet node's, or the
    // tail water above the feeders' bed of a structure at the outlet.
    double boundary_stage_depth = 0.0;

    // Predictor-corrector working arrays, (node, link) like the network's.
    NodeArray<double> area_old;      // at the start of the sub-step
    NodeArray<double> area_iter;     // predictor
    NodeArray<double> qp_old;        // at the start of the sub-step
    NodeArray<double> qp_last;       // predictor
    NodeArray<double> qp_iter;       // corrector
    NodeArray<double> point_inflow;  // point sources of the channel step, m3/s
    // Point sinks of the channel step (sources below zero): the node and the
    // rate they would take, m3/s. A sink takes what its node holds after each
    // sub-step's routing, never more.
    struct Sink {
        int node = 0;
        int link = 0;
        double demand = 0.0;
    };
    std::vector<Sink> sinks;      // room for every point source, reserved once
    double sink_shortfall = 0.0;  // m3 the sinks could not take, over the run
    NodeArray<int> point_hint;
    NodeArray<double> yp_previous;  // water surface at the start of the channel step

    // Nodes whose water has stood above their break-point table (1), each
    // warned of once, and how many there are.
    NodeArray<unsigned char> above_table_warned;
    int nodes_above_table = 0;

    std::vector<StructureWork> structure_work;  // per element
    std::vector<double> pump_rate;              // per pump, m3/s of the sub-step
    std::vector<int> pump_hint;

    // Model time of the last channel step, days.
    double last_update = 0.0;
    bool updated_once = false;

    // Counters for the summary.
    long long channel_steps = 0;
    long long sub_steps = 0;
    long long rejected_sub_steps = 0;
    // Sub-steps whose second pass still moved an area by more than the
    // tolerance: the heads of deep pools may be off there.
    long long unsettled_sub_steps = 0;
    double step_outlet_volume = 0.0;  // m3 of the last channel step
};

}  // namespace torva
