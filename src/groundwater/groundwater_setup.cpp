// Start-up of the saturated zone: the cards, the boundary, conductivity and
// porosity maps, the static flux table and the wells, each checked where it
// is read; then the arrays of the solver, laid out once for the run.

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "grid/raster.hpp"
#include "groundwater/groundwater.hpp"
#include "input/card_checks.hpp"
#include "input/project.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

constexpr double kSecondsPerDay = 86400.0;

bool refuse(RunContext& ctx, const char* format, auto... args) {
    ctx.print_and_log(format, args...);
    ctx.error.raise(err::message_printed);
    return false;
}

bool refuse_card(Model& model, RunContext& ctx, Card card, double value, const char* problem) {
    char shown[64];
    std::snprintf(shown, sizeof shown, "%g", value);
    refuse_card_value(ctx, model.project, card, shown, problem);
    return false;
}

// The solver settings; a value the solver cannot work with is refused here,
// naming its card.
bool read_settings(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    Groundwater& gw = model.groundwater;
    gw.time_step = p.real(Card::GW_TIMESTEP);
    if (!(gw.time_step > 0.0))
        return refuse_card(model, ctx, Card::GW_TIMESTEP, gw.time_step,
                           "is no groundwater time step; it must be greater than 0 seconds");
    gw.tolerance = p.real(Card::GW_LSOR_CON);
    if (!(gw.tolerance > 0.0))
        return refuse_card(model, ctx, Card::GW_LSOR_CON, gw.tolerance,
                           "can never be reached; the line solver's tolerance (m) must be "
                           "greater than 0");
    // Without the card the solver is plain line Gauss-Seidel; omega = 0 would
    // never move a head.
    gw.relaxation = p.given(Card::GW_RELAX_COEFF) ? p.real(Card::GW_RELAX_COEFF) : 1.0;
    if (!(gw.relaxation > 0.0 && gw.relaxation < 2.0))
        return refuse_card(model, ctx, Card::GW_RELAX_COEFF, gw.relaxation,
                           "does not converge; the relaxation factor must lie between 0 and 2");
    if (p.given(Card::GW_LSOR_DIR)) {
        const int dir = p.integer(Card::GW_LSOR_DIR);
        if (dir < 1 || dir > 3)
            return refuse_card(model, ctx, Card::GW_LSOR_DIR, dir,
                               "is no sweep direction; use 1 (rows), 2 (columns) or 3 "
                               "(alternating)");
        gw.direction = static_cast<SweepDirection>(dir);
    }
    gw.leakage_rate = p.given(Card::GW_LEAKAGE_RATE) ? p.real(Card::GW_LEAKAGE_RATE) : 0.0;
    if (gw.leakage_rate < 0.0)
        return refuse_card(model, ctx, Card::GW_LEAKAGE_RATE, gw.leakage_rate,
                           "is negative; the leakage to the deep aquifer (m/s) is 0 or more");
    gw.soil_moisture_depth = p.real(Card::SOIL_MOIST_DEPTH);
    if (!(gw.soil_moisture_depth > 0.0))
        return refuse_card(model, ctx, Card::SOIL_MOIST_DEPTH, gw.soil_moisture_depth,
                           "is no soil moisture depth; it must be greater than 0 m");
    gw.layer_depth = gw.soil_moisture_depth;
    gw.redistribution = p.infiltration == InfiltrationMethod::redistribution;
    return true;
}

bool read_boundary_codes(Model& model, RunContext& ctx, std::vector<int>& codes) {
    const ProjectSettings& p = model.project;
    const int n = model.grid.num_cells;
    if (p.given(Card::GW_BOUNDFILE)) {
        const std::string path = strip_quotes(p.text(Card::GW_BOUNDFILE));
        ctx.print_and_log("reading the groundwater boundary file: %s\n", path.c_str());
        if (!allocate(ctx, codes, static_cast<std::size_t>(n) + 1, "gw_bound"))
            return false;
        std::FILE* file = std::fopen(path.c_str(), "r");
        if (!file) {
            ctx.error.raise(err::open_file, {.text1 = "groundwater boundary", .text2 = path});
            return false;
        }
        const bool ok = read_integer_map(ctx, file, path, model.grid, codes);
        std::fclose(file);
        return ok;
    }
    if (has_table(model, MappingTable::groundwater_boundary)) {
        ctx.print_and_log("reading the groundwater boundary file from the mapping table\n");
        std::vector<double> values;
        if (!table_to_cells(model, ctx, MappingTable::groundwater_boundary, 1, values, "gw_bound"))
            return false;
        if (!allocate(ctx, codes, static_cast<std::size_t>(n) + 1, "gw_bound"))
            return false;
        for (int i = 1; i <= n; ++i) codes[i] = static_cast<int>(std::lround(values[i]));
        return true;
    }
    // Without a boundary map every cell is active and the aquifer is closed.
    if (!allocate(ctx, codes, static_cast<std::size_t>(n) + 1, "gw_bound"))
        return false;
    std::fill(codes.begin() + 1, codes.end(), 1);
    return true;
}

bool set_cell_codes(Model& model, RunContext& ctx, const std::vector<int>& codes) {
    Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    if (!allocate(ctx, gw.cell, static_cast<std::size_t>(n) + 1, "gw_cell"))
        return false;
    for (int i = 1; i <= n; ++i) {
        switch (codes[i]) {
            case 0:
                gw.cell[i] = AquiferCell::outside;
                break;
            case 1:
                gw.cell[i] = AquiferCell::active;
                break;
            case 2:
            case 5:
                gw.cell[i] = AquiferCell::fixed_head;
                break;
            case 6:
                gw.cell[i] = AquiferCell::static_flux;
                break;
            case 3:
                return refuse(ctx,
                              "You can't have a dynamic wells in the groundwater boundary map. You "
                              "must use the\nWELL_TABLE table in the mapping table file\n");
            default:
                return refuse(ctx,
                              "Error: groundwater boundary code %d in cell %d (row %d, column %d) "
                              "is none of 0 (outside), 1 (active), 2 or 5 (fixed head) and 6 "
                              "(static flux)\n",
                              codes[i], i, g.cell_row[i], g.cell_col[i]);
        }
    }
    return true;
}

struct AquiferParameter {
    Card map_card;
    Card uniform_card;
    int table_column;  // of the GROUNDWATER table
    const char* map_message;
    const char* table_message;
    const char* array_name;
    const char* kind;
    int fallback_warning;  // raised when the soil's own value stands in
};

// One parameter by map, uniform value, the GROUNDWATER table, or failing
// those the soil's own value.
bool read_parameter(Model& model, RunContext& ctx, const AquiferParameter& a,
                    const std::vector<double>& soil_value, std::vector<double>& values) {
    const ProjectSettings& p = model.project;
    const int n = model.grid.num_cells;
    if (p.given(a.map_card)) {
        const std::string path = strip_quotes(p.text(a.map_card));
        ctx.print_and_log(a.map_message, path.c_str());
        if (!allocate(ctx, values, static_cast<std::size_t>(n) + 1, a.array_name))
            return false;
        std::FILE* file = std::fopen(path.c_str(), "r");
        if (!file) {
            ctx.error.raise(err::open_file, {.text1 = a.kind, .text2 = path});
            return false;
        }
        const bool ok = read_real_map(ctx, file, path, model.grid, values);
        std::fclose(file);
        return ok;
    }
    if (p.given(a.uniform_card)) {
        if (!allocate(ctx, values, static_cast<std::size_t>(n) + 1, a.array_name))
            return false;
        std::fill(values.begin() + 1, values.end(), p.real(a.uniform_card));
        return true;
    }
    if (has_table(model, MappingTable::groundwater)) {
        ctx.print_and_log("%s", a.table_message);
        return table_to_cells(model, ctx, MappingTable::groundwater, a.table_column, values,
                              a.array_name);
    }
    // Only now is it known that neither a card nor the mapping tables give
    // the parameter.
    if (soil_value.size() == static_cast<std::size_t>(n) + 1) {
        raise_and_report(ctx, a.fallback_warning);
        values = soil_value;
        return true;
    }
    return refuse(ctx,
                  "Error: groundwater simulation needs the aquifer %s: give %s or %s, or the "
                  "GROUNDWATER mapping table\n",
                  a.kind, card_name(a.uniform_card).c_str(), card_name(a.map_card).c_str());
}

bool read_aquifer_parameters(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    const AquiferParameter conductivity{
        Card::GW_HYCOND_MAP,
        Card::GW_UNIF_HYCOND,
        1,
        "reading ground water hydraulic conductivity map from file: %s\n",
        "reading ground water hydraulic conductivity map from the master table file\n",
        "gw_hycond",
        "hydraulic conductivity",
        41};
    const AquiferParameter porosity{
        Card::GW_POROSITY_MAP,
        Card::GW_UNIF_POROSITY,
        2,
        "reading ground water porosity map from file: %s\n",
        "reading ground water porosity map from the master table file\n",
        "gw_porosity",
        "porosity",
        39};
    // Aquifer conductivities are in m/s, as the stream beds' and as the soil
    // keeps its own once read.
    if (!read_parameter(model, ctx, conductivity, model.soil.conductivity, gw.conductivity))
        return false;
    return read_parameter(model, ctx, porosity, model.soil.porosity, gw.porosity);
}

// The aquifer of every cell that takes part must be one the flow equation can
// hold: positive conductivity and porosity, a water table at or above the
// bottom.
bool check_aquifer(Model& model, RunContext& ctx) {
    const Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    for (int i = 1; i <= g.num_cells; ++i) {
        if (gw.cell[i] == AquiferCell::outside)
            continue;
        const int row = g.cell_row[i];
        const int col = g.cell_col[i];
        if (!std::isfinite(gw.head[i]) || !std::isfinite(gw.bottom[i]))
            return refuse(ctx,
                          "Error: the water table or aquifer bottom of cell %d (row %d, column "
                          "%d) is not a number\n",
                          i, row, col);
        if (!(gw.conductivity[i] > 0.0) || !std::isfinite(gw.conductivity[i]))
            return refuse(ctx,
                          "Error: the aquifer hydraulic conductivity of cell %d (row %d, column "
                          "%d) is %g m/s; it must be greater than 0\n",
                          i, row, col, gw.conductivity[i]);
        if (!(gw.porosity[i] > 0.0 && gw.porosity[i] <= 1.0))
            return refuse(ctx,
                          "Error: the aquifer porosity of cell %d (row %d, column %d) is %g; it "
                          "must be greater than 0 and at most 1\n",
                          i, row, col, gw.porosity[i]);
        if (gw.bottom[i] > gw.head[i])
            return refuse(ctx,
                          "Error: the aquifer bottom of cell %d (row %d, column %d) at %g m lies "
                          "above its initial water table at %g m (AQUIFER_BOTTOM, WATER_TABLE)\n",
                          i, row, col, gw.bottom[i], gw.head[i]);
    }
    return true;
}

// Static flux table: the number of entries, then row, column and flux (m3/day,
// positive into the aquifer) per entry, for cells of boundary code 6.
bool read_static_flux_table(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    if (!allocate(ctx, gw.static_flux, static_cast<std::size_t>(g.num_cells) + 1, "gw_flux"))
        return false;
    if (!model.project.given(Card::GW_FLUXBOUNDTABLE))
        return true;
    const std::string path = strip_quotes(model.project.text(Card::GW_FLUXBOUNDTABLE));
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return refuse(ctx, "Can't open static flux table file: %s\n", path.c_str());
    std::string text;
    {
        LineReader reader(file, ctx);
        std::string line;
        while (reader.next(line)) text += line + '\n';
    }
    std::fclose(file);
    Tokens tokens(text);
    int entries = 0;
    if (!tokens.integer(entries) || entries < 0)
        return refuse(ctx, "Error: the static flux table %s does not begin with its count\n",
                      path.c_str());
    const double area = g.cell_size * g.cell_size;
    for (int k = 1; k <= entries; ++k) {
        int row = 0, col = 0;
        double flux = 0.0;
        if (!tokens.integer(row) || !tokens.integer(col) || !tokens.real(flux) ||
            !std::isfinite(flux))
            return refuse(ctx,
                          "Error: entry %d of the static flux table %s is no row, column and "
                          "flux (m3/day)\n",
                          k, path.c_str());
        const int cell = g.number_or_zero(row, col);
        if (cell == 0 || gw.cell[cell] != AquiferCell::static_flux)
            return refuse(ctx,
                          "Error: entry %d of the static flux table %s names row %d, column %d, "
                          "which is no static flux cell (code 6) of the groundwater boundary "
                          "map\n",
                          k, path.c_str(), row, col);
        gw.static_flux[cell] += flux / kSecondsPerDay / area;
    }
    return true;
}

// Wells: the WELL_TABLE's index map gives each well cell its id (0 for no
// well); column 1 is the rate in m3/day (negative for pumping), column 2 the
// id of a TIME_SERIES_INDEX row whose series gives the rate instead (0 for
// none).
bool read_wells(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    const Grid& g = model.grid;
    if (!model.project.given(Card::USE_WELLS))
        return true;
    if (!has_table(model, MappingTable::well_table))
        return refuse(ctx,
                      "Error: USE_WELLS needs the WELL_TABLE table of the mapping table file "
                      "(MAPPING_TABLE)\n");
    ctx.print_and_log("reading well map from the master table file\n");
    TableRows rows;
    std::vector<int> ids;
    if (!read_table_with_ids(model, ctx, MappingTable::well_table, rows, ids,
                             IndexZero::means_none))
        return false;
    for (int i = 1; i <= g.num_cells; ++i) {
        if (ids[i] <= 0)
            continue;
        int row = -1;
        for (int r = 0; r < rows.num_ids; ++r)
            if (rows.ids[r] == ids[i])
                row = r;
        if (row < 0)
            return refuse(ctx,
                          "Error: A well was found in the index map (cell [%d,%d]) that \n  was "
                          "not found in the well table.\n",
                          g.cell_row[i], g.cell_col[i]);
        if (gw.cell[i] == AquiferCell::outside || gw.cell[i] == AquiferCell::fixed_head)
            return refuse(ctx,
                          "Error: well %d stands in cell [%d,%d], where the head is not "
                          "simulated (groundwater boundary code 0, 2 or 5)\n",
                          ids[i], g.cell_row[i], g.cell_col[i]);
        Well w;
        w.cell = i;
        w.id = ids[i];
        w.rate = rows.value(row, 1);
        if (!std::isfinite(w.rate))
            return refuse(ctx, "Error: the rate of well %d in the WELL_TABLE is not a number\n",
                          w.id);
        const int series_id = static_cast<int>(rows.value(row, 2));
        if (series_id > 0) {
            for (const TimeSeriesIndexEntry& e : model.tables.time_series_index)
                if (e.id == series_id && w.series < 0)
                    w.series = e.series;
            if (w.series < 0)
                return refuse(ctx,
                              "Error: well %d names time series %d, which the "
                              "TIME_SERIES_INDEX table does not give\n",
                              w.id, series_id);
        }
        gw.wells.push_back(w);
        gw.well_output_cells.push_back(i);
    }
    ctx.print_and_log("number of wells: %zu\n", gw.wells.size());
    return true;
}

// Every stream bed that exchanges water needs a conductivity of 0 or more and
// a thickness the gradient can be taken over.
bool check_stream_beds(Model& model, RunContext& ctx) {
    const Channel& ch = model.channel;
    if (!ch.read || ch.krb.empty())
        return true;
    for (int link = 1; link <= ch.links; ++link)
        for (int node = 1; node <= ch.link[link].nodes; ++node) {
            const double k = ch.krb(node, link);
            const double m = ch.mrb(node, link);
            if (!std::isfinite(k) || k < 0.0)
                return refuse(ctx,
                              "Error: the stream bed conductivity (K_RIVER) of link %d is %g "
                              "m/s; it must be 0 or more\n",
                              link, k);
            if (k > 0.0 && !(m > 0.0 && std::isfinite(m)))
                return refuse(ctx,
                              "Error: the stream bed thickness (M_RIVER) of link %d is %g m; a "
                              "bed that exchanges water with the aquifer needs a thickness "
                              "greater than 0\n",
                              link, m);
        }
    return true;
}

}  // namespace

void read_groundwater_maps(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    Groundwater& gw = model.groundwater;
    if (!p.given(Card::GW_SIMULATION))
        return;
    gw.simulated = true;
    if (!read_settings(model, ctx))
        return;
    const Soil& soil = model.soil;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (soil.water_table.size() != size || soil.aquifer_bottom.size() != size) {
        refuse(ctx,
               "Error: groundwater simulation (GW_SIMULATION) needs the initial water table "
               "(WATER_TABLE) and the aquifer bottom (AQUIFER_BOTTOM) maps\n");
        return;
    }
    gw.head = soil.water_table;
    gw.bottom = soil.aquifer_bottom;
    std::vector<int> codes;
    if (!read_boundary_codes(model, ctx, codes) || !set_cell_codes(model, ctx, codes))
        return;
    if (!read_aquifer_parameters(model, ctx) || !check_aquifer(model, ctx))
        return;
    if (!read_static_flux_table(model, ctx))
        return;
    read_wells(model, ctx);
}

void prepare_groundwater(Model& model, RunContext& ctx) {
    Groundwater& gw = model.groundwater;
    if (!gw.simulated || gw.prepared)
        return;
    if (!check_stream_beds(model, ctx))
        return;
    const Grid& g = model.grid;
    const int n = g.num_cells;
    const std::size_t size = static_cast<std::size_t>(n) + 1;
    for (auto* a : {&gw.head_start, &gw.head_previous, &gw.storage, &gw.source, &gw.stored_water,
                    &gw.river_exchange, &gw.to_east, &gw.to_south, &gw.to_west, &gw.to_north,
                    &gw.diagonal, &gw.rhs})
        if (!allocate(ctx, *a, size, "groundwater arrays"))
            return;
    if (!allocate(ctx, model.soil.recharge, size, "recharge") ||
        !allocate(ctx, model.soil.percolated_depth, size, "percolated_depth") ||
        !allocate(ctx, model.soil.water_table_at_surface, size, "water_table_at_surface"))
        return;

    // Cells are numbered row by row: each row is one run of numbers.
    if (!allocate(ctx, gw.row_start, static_cast<std::size_t>(g.rows) + 2, "row_start"))
        return;
    {
        int next = 1;
        for (int r = 1; r <= g.rows; ++r) {
            gw.row_start[r] = next;
            for (int c = 1; c <= g.cols; ++c)
                if (g.number_at(r, c))
                    ++next;
        }
        gw.row_start[g.rows + 1] = next;
    }
    // Columns of cells, north to south, for the column sweeps.
    if (!allocate(ctx, gw.column_start, static_cast<std::size_t>(g.cols) + 2, "column_start") ||
        !allocate(ctx, gw.column_cells, size, "column_cells"))
        return;
    int k = 1;
    for (int c = 1; c <= g.cols; ++c) {
        gw.column_start[c] = k;
        for (int r = 1; r <= g.rows; ++r)
            if (const int i = g.number_at(r, c))
                gw.column_cells[k++] = i;
    }
    gw.column_start[g.cols + 1] = k;
    // Four arrays of a line's length for each thread's tridiagonal solves.
    gw.scratch_stride = 2 * (std::max(g.rows, g.cols) + 2);
    gw.scratch_threads = std::max(omp_get_max_threads(), 1);
    if (!allocate(ctx, gw.line_scratch,
                  static_cast<std::size_t>(gw.scratch_stride) * gw.scratch_threads, "line_scratch"))
        return;

    const double area = g.cell_size * g.cell_size;
    gw.initial_volume = 0.0;
    for (int i = 1; i <= n; ++i) {
        gw.head_start[i] = gw.head_previous[i] = gw.head[i];
        if (gw.cell[i] != AquiferCell::outside)
            gw.stored_water[i] = gw.porosity[i] * (gw.head[i] - gw.bottom[i]);
        gw.initial_volume += gw.stored_water[i] * area;
    }
    model.soil.water_table = gw.head;
    mark_water_table_at_surface(model);
    gw.previous_time = model.clock.start_time;
    gw.next_time = model.clock.start_time + gw.time_step / kSecondsPerDay;
    gw.prepared = true;
}

}  // namespace torva
