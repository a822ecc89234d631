#pragma once
// Richards equation infiltration: the soil table and the column layout, the
// column solver, and the phase that runs every cell's column for a step.

#include <limits>
#include <string>
#include <vector>

#include "soil/richards_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// ---- Set-up ----

// Reads the soil table (the file named by SOIL_LAYER_INPUT_FILE, or the
// Richards table of the mapping table file), lays out the columns, sets the
// initial heads from the initial water contents and prints the initial
// root-zone and column volumes.
void set_up_richards(Model& model, RunContext& ctx);

// Reads the soil table from its text; `mapping_form` is the layout inside the
// mapping table file (each count after a keyword, one heading line).
// False, with the error raised, on any fault.
bool parse_richards_soil_table(RichardsColumns& columns, RunContext& ctx, const std::string& text,
                               const std::string& file_name, bool mapping_form, bool long_term);
// Lays out the nodes of every soil type and checks the parameters.
bool lay_out_richards_columns(RichardsColumns& columns, RunContext& ctx,
                              const std::string& file_name);
// Sizes the per-cell arrays and sets each column to its initial water
// content; `soil_type` gives the soil index of cells 1..n. With
// `depth_to_water` (m below the surface per cell) the nodes below the water
// table start saturated at their hydrostatic head.
bool initialise_richards_columns(RichardsColumns& columns, RunContext& ctx,
                                 const std::vector<int>& soil_type, int cells,
                                 const std::vector<double>* depth_to_water = nullptr);

// ---- One column ----

// What a column is given for a step and what it gives back.
struct ColumnStepInput {
    double supply = 0.0;              // water on the surface at the start of the step, m
    double potential_et = 0.0;        // m/s
    bool water_table_bottom = false;  // false: free drainage at the bottom
    // With the water table at the bottom: the pressure head at the point the
    // bottom face reaches (m) and its distance below the last node's centre (m).
    double bottom_head = 0.0;
    double bottom_distance = 0.0;
    // What the aquifer under the column can give up through its bottom over
    // the step, m: the column draws no more water up than that.
    double upward_limit = std::numeric_limits<double>::infinity();
    double dt = 0.0;  // s
};
struct ColumnStepResult {
    double infiltrated = 0.0;   // m through the surface (negative: exfiltrated)
    double drained = 0.0;       // m out of the bottom
    double uptake = 0.0;        // m taken by the roots
    double surface_left = 0.0;  // m left on the surface
    int substeps = 0;
    int iterations = 0;
    int unsettled = 0;
    int slow_substeps = 0;     // sub-steps of the slow soil
    bool failed = false;       // a value that cannot be real
    int failed_node = 0;       // 1-based
    double failed_time = 0.0;  // s into the step
};

// Advances one column over a step. `head` and `theta` are the column's node
// values (type.nodes entries); `substep`, `top`, `slow`, `trends`, `trend`
// (the column's 2 * settings.stride trend values) and `relations` are
// carried from step to step.
ColumnStepResult advance_column(const RichardsColumns& settings, const RichardsSoilType& type,
                                double* head, double* theta, double& substep, ColumnTop& top,
                                SlowSoil& slow, HeadTrends& trends, float* trend,
                                NodeRelation* relations, const ColumnStepInput& input,
                                RichardsScratch& scratch);

// Water held by a column, m, and by its root-zone nodes.
double column_water_depth(const RichardsSoilType& type, const double* theta);
double root_zone_water_depth(const RichardsSoilType& type, const double* theta);
// Water held by the columns of cells 1 .. cells, m summed over the cells in
// cell order. Counted when asked, not every step: a step reaches only the
// top nodes of most columns, and the sum would read the whole of each.
double columns_water_depth(const RichardsColumns& rc, int cells);

// ---- On the water table ----

// The aquifer's water within a column (m): the specific yield over the height
// of the water table above the column's bottom, or above the aquifer's bottom
// where that is higher; depths are below the surface.
double aquifer_water_in_column(const RichardsSoilType& type, double depth_to_water,
                               double depth_to_bottom, double specific_yield);
// Puts `change` (m, negative to take) of the aquifer's water into the column
// as its water table moves to `depth_to_water`: a rise fills the nodes from
// below, a fall drains the nodes it leaves by the specific yield. Returns
// what the column took (less than asked only when it is full or dry).
double hand_water_table_change_to_column(const RichardsColumns& rc, const RichardsSoilType& type,
                                         double* head, double* theta, double change,
                                         double depth_to_water, double specific_yield);
// After the aquifer is laid out: the part of its water each column holds
// from the start.
void prepare_richards_water_table(Model& model);

// ---- The phase ----

// Runs every cell's column for a step of dt seconds (called by the
// infiltration phase with INF_RICHARDS).
void richards_infiltration(Model& model, RunContext& ctx, double dt);
// After the run: the summary's line on the columns' sub-steps and Picard
// iterations, and a warning when sub-steps ended unsettled.
void report_richards_columns(const Model& model, RunContext& ctx);

}  // namespace torva
