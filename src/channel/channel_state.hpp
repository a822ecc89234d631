#pragma once
// The channel network of one simulation as plain data: per-link records, the
// per-node arrays, the break-point property tables, hydraulic structure
// elements, pumps, channel lakes and the stream cells that tie nodes to the
// grid. Sized once at set-up; routing only reads and writes values.

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "channel/structure_element.hpp"

namespace torva {

// Link type bits; a link's type is their sum.
enum LinkTypeBit : int {
    kSubsurfaceLink = 1,    // the bed exchanges water with groundwater
    kErodibleLink = 2,      // sediment may be eroded from the bed
    kTrapezoidLink = 4,     // trapezoidal cross-section
    kBreakpointLink = 8,    // cross-section of station/elevation pairs
    kLakeLink = 32,         // the link is a lake
    kStructureLink = 64,    // the link is a hydraulic structure of two nodes
    kTakenByLakeLink = 128  // all nodes taken over by a lake during the run
};

// Most links that may flow into the first node of one link.
inline constexpr int kMaxUpstreamLinks = 20;

struct ChannelLink {
    int type = 0;
    int nodes = 0;
    double dx = 0.0;  // node spacing, m
    double inverse_dx = 0.0;
    double mannings_n = 0.0;
    double inverse_n = 0.0;

    int downstream = 0;  // 0 for the outlet link
    int upstream_count = 0;
    std::array<int, kMaxUpstreamLinks> upstream{};
    // Copies of the connectivity as read, so that a lake that takes over the
    // link's nodes can give them back.
    int saved_downstream = 0;
    int saved_upstream_count = 0;
    std::array<int, kMaxUpstreamLinks> saved_upstream{};

    // Hydraulic structure elements of a structure link: the number declared
    // by NUMSTRUCTS and the first and last element numbers met.
    int structures_declared = 0;
    int first_structure = 10000;
    int last_structure = 0;

    int lake = 0;              // lake number of a lake link
    bool groundwater = false;  // the link gives a bed conductivity
    double max_erosion = 0.0;
    double bed_conductivity = 0.0;  // K_RIVER
    double bed_thickness = 0.0;     // M_RIVER
    double dispersion = 0.0;
    double decay = 0.0;

    bool is(int bit) const { return (type & bit) != 0; }
};

// A per-node quantity, addressed as (node, link) with node 0..max_nodes + 1 and
// link 0..links + 1. The nodes of one link lie next to each other, so a sweep
// down a link reads memory in order.
template <typename T>
class NodeArray {
  public:
    void assign(int max_nodes, int links, T value = T{}) {
        stride_ = max_nodes + 2;
        data_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(links + 2),
                     value);
    }
    T& operator()(int node, int link) { return data_[index(node, link)]; }
    const T& operator()(int node, int link) const { return data_[index(node, link)]; }
    bool empty() const { return data_.empty(); }
    std::vector<T>& storage() { return data_; }

  private:
    std::size_t index(int node, int link) const {
        return static_cast<std::size_t>(link) * static_cast<std::size_t>(stride_) +
               static_cast<std::size_t>(node);
    }
    std::vector<T> data_;
    int stride_ = 0;
};

// One break-point property table: flow area, top width and conveyance at the
// depths k * dy, k = 0..levels (level 0 is the dry bed, all zero).
struct SectionTable {
    int link = 0;
    int levels = 0;               // N
    double dy = 0.0;              // depth increment, m
    std::size_t first = 0;        // level 0 in the level arrays
    std::size_t first_point = 0;  // first station/elevation pair of the section
    int points = 0;
};

struct SectionTables {
    std::vector<SectionTable> tables;  // table t is tables[t]; entry 0 is unused
    std::vector<double> xarea;         // A_k
    std::vector<double> xtw;           // T_k
    std::vector<double> xi1;           // K_k
    // The stations and elevations of every section (xbp, ybp), as interpolated
    // or resampled for the node that owns the table.
    std::vector<double> xbp;
    std::vector<double> ybp;

    int count() const { return tables.empty() ? 0 : static_cast<int>(tables.size()) - 1; }
};

enum class PumpFlow : int { elevation_series = 0, time_series = 1 };

struct Pump {
    int link = 0;  // where it takes water
    int node = 0;
    int destination_link = 0;
    int destination_node = 0;
    PumpFlow flow = PumpFlow::elevation_series;
    int series = -1;  // position in the elevation or time series list; -1 for none
};

// A lake of the channel network, as the channel input file describes it.
struct ChannelLake {
    int link = 0;
    double min_elevation = 0.0;  // water surface, m
    double initial_elevation = 0.0;
    double max_elevation = 0.0;
    bool losses = false;  // MLAKE given: seepage through the bed
    double bed_thickness = 0.0;
    std::vector<int> search_rows;  // cells the lake may flood, in search order
    std::vector<int> search_cols;
    int flooded_cells = 0;
    double initial_volume = 0.0;  // m3
    // Which of MINWSE, INITWSE and MAXWSE the file gave (bits 1, 2, 4).
    int levels_given = 0;

    // The level pool during the run. Its hypsometry: the ground elevations
    // of the search-list cells in ascending order (`ground`, with the cell
    // of each in `cells`) and their running sums, so that the volume below
    // a level is W2 (k h - sum of the k lowest grounds) over the k cells
    // whose ground lies below it.
    std::vector<int> cells;
    std::vector<double> ground;
    std::vector<double> ground_sum;  // ground_sum[k]: the k lowest, ground_sum[0] = 0
    double cell_area = 0.0;          // W2, m2
    double volume = 0.0;             // m3
    double water_surface = 0.0;      // m
    double min_volume = 0.0;         // volume at MINWSE, which outflow never draws below
    double rim_volume = 0.0;         // volume at MAXWSE, above which it spills over its rim
    double rim_length = 0.0;         // m: the width of the channel below, which the spill fills
};

// The stream cells: grid cells that hold channel, each with the (link, node,
// fraction) entries of the channel lying in it. Entries of cell s are
// first_entry[s] .. first_entry[s + 1] - 1; cells are numbered 1..count.
struct StreamCells {
    int count = 0;
    int max_entries = 0;    // the most entries in one cell
    std::vector<int> cell;  // grid cell number
    std::vector<int> row;
    std::vector<int> col;
    std::vector<int> first_entry;
    std::vector<int> link;         // gst_link
    std::vector<int> node;         // gst_node
    std::vector<double> fraction;  // gst_pct: share of the node's dx inside the cell
    // Exchange with the grid, per entry.
    std::vector<double> sac_weight;
    std::vector<double> lateral_volume;  // gst_Vlat
    std::vector<double> river_flux;      // gst_qriv
    std::vector<double> volume;          // gst_Vp
    std::vector<double> river_volume;    // gst_qriv_vol
};

struct Channel {
    bool read = false;  // the network has been set up

    // Header values of the channel input file; stored, not used.
    double alpha = 0.0, beta = 0.0, theta = 0.0;
    int links = 0;      // L; link L is the outlet link
    int max_nodes = 0;  // M

    std::vector<ChannelLink> link;  // L + 1 entries, link 0 unused

    // Per node, (node, link).
    NodeArray<double> bel;  // bed elevation
    NodeArray<double> yp;   // water-surface elevation
    NodeArray<double> depth;
    NodeArray<double> qp;
    NodeArray<double> froude;
    NodeArray<double> qp_vol;
    NodeArray<double> qp_vol_sed;
    NodeArray<double> area;
    NodeArray<double> area_old;
    NodeArray<double> topw;
    NodeArray<double> conv;
    NodeArray<double> bottom;  // trapezoid bottom width
    NodeArray<double> bankfull_dep;
    NodeArray<double> sslope;  // bank side slope, horizontal per vertical
    NodeArray<double> max_eros;
    NodeArray<double> krb;  // bed conductivity
    NodeArray<double> mrb;  // bed thickness
    NodeArray<int> got_xsec;
    NodeArray<int> table_num;
    NodeArray<int> point_source;  // time series position; -1 for none
    NodeArray<int> pump;          // index into pumps; -1 for none
    NodeArray<double> yp_max_flood;
    NodeArray<double> qlat;

    SectionTables sections;
    std::vector<StructureElement> structures;  // element k is structures[k - 1]
    std::vector<Pump> pumps;
    std::vector<ChannelLake> lakes;   // lake k is lakes[k - 1]
    std::vector<int> cell_lake;       // per grid cell: lake number flooding it, 0 for none
    std::vector<double> pct_flooded;  // per grid cell
    StreamCells stream;
    // The grid cells the nodes of each link lie in, for the lakes to find
    // what they flood: link_entries[link_entry_first[k]] up to before
    // link_entry_first[k + 1] for link k, one per stream-cell entry.
    std::vector<int> link_entry_first;
    std::vector<int> link_entries;

    bool holds_water = false;  // a hotstart gave some node water
    bool above_table = false;  // some node stood above its property table
};

}  // namespace torva
