// The tables read once when a simulation starts: the mapping table files and
// their availability checks, the time series index, wetlands and overland
// boundaries.

#include <array>
#include <cstdio>
#include <unordered_map>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"
#include "input/series.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

using namespace mapping_internal;

// The TIME_SERIES_INDEX rows: an id in characters 1 to 6 and the name of a
// time series read from the project's series files.
void read_time_series_index(MappingTables& tables, RunContext& ctx) {
    const TableFile& file = tables.grid_file;
    const TableLocation location =
        find_table(file, static_cast<int>(MappingTable::time_series_index));
    if (!location.found)
        return;
    const int n = read_row_count(file, location);
    if (n <= 0) {
        ctx.error.raise(kNoEntriesInTable, {.text1 = "TIME_SERIES_INDEX"});
        return;
    }
    const std::size_t first = first_row_line(file, location);
    if (first > file.lines.size() || file.lines.size() - first < static_cast<std::size_t>(n)) {
        report_unexpected_end(ctx, file.path);
        return;
    }
    tables.time_series_index.clear();
    for (int r = 0; r < n; ++r) {
        const std::string_view row = file.lines[first + r];
        const int id = static_cast<int>(lenient_long(row.substr(0, kIdWidth)));
        std::string name;
        if (row.size() > kIdWidth)
            Tokens(row.substr(kIdWidth)).text(name);
        ctx.print("Adding table to list: %s... ", name.c_str());
        const int series = time_series_position(ctx.series, name);
        ctx.print("%s", series >= 0 ? "Success!\n" : "Failure, table not found.\n");
        tables.time_series_index.push_back({id, series});
    }
}

void print_progress(const Model& model, RunContext& ctx, const char* line) {
    if (!model.run.super_quiet)
        ctx.print("%s", line);
    ctx.log("%s", line);
}

// WETLAND_PROPERTIES: the ids of the index map become wetland numbers 1, 2, ...
// in the order of their first cell, and each wetland gets its record.
void read_wetlands(Model& model, RunContext& ctx) {
    TableRows rows;
    std::vector<int> cell_ids;
    if (!read_rows_and_ids(model, ctx, MappingTable::wetland_properties, IndexZero::means_none,
                           rows, cell_ids))
        return;
    MappingTables& tables = model.tables;
    const int num_cells = model.grid.num_cells;
    std::unordered_map<int, int> number_of_id;
    std::vector<int> id_of_number(1, 0);
    if (!allocate(ctx, tables.wetland_number, static_cast<std::size_t>(num_cells) + 1,
                  "wetland_number"))
        return;
    for (int cell = 1; cell <= num_cells; ++cell) {
        const int id = cell_ids[cell];
        if (id < 1)
            continue;
        auto [it, added] = number_of_id.try_emplace(id, static_cast<int>(id_of_number.size()));
        if (added)
            id_of_number.push_back(id);
        tables.wetland_number[cell] = it->second;
    }
    const int distinct = static_cast<int>(id_of_number.size()) - 1;
    if (distinct != rows.num_ids) {
        ctx.error.raise(kWetlandIdCount, {.number1 = distinct, .number2 = rows.num_ids});
        return;
    }
    if (rows.largest_id > kLargestWetlandId) {
        ctx.error.raise(kTooManyWetlands);
        return;
    }
    std::array<std::vector<double>, 8> lookup;
    for (int k = 1; k <= 7; ++k) lookup[k] = column_lookup(rows, k);
    tables.num_wetlands = distinct;
    tables.wetlands.assign(static_cast<std::size_t>(distinct) + 1, Wetland{});
    for (int w = 1; w <= distinct; ++w) {
        const int id = id_of_number[w];
        std::array<double, 9>& f = tables.wetlands[w].field;
        // Depths come in millimetres, rates per day; the model works in metres and seconds.
        f[1] = lookup[1][id] / 1000.0;
        f[2] = lookup[2][id] / 1000.0;
        f[3] = lookup[3][id] / 86400.0;
        f[4] = lookup[4][id] / 1000.0;
        f[5] = lookup[5][id] / 86400.0;
        f[7] = lookup[6][id];
        f[8] = lookup[7][id] / 1000.0;
    }
}

// OVERLAND_BOUNDARY: type and value of each boundary cell; cells of index 0 have none.
void read_overland_boundary(Model& model, RunContext& ctx) {
    TableRows rows;
    std::vector<int> cell_ids;
    if (!read_rows_and_ids(model, ctx, MappingTable::overland_boundary, IndexZero::means_none, rows,
                           cell_ids))
        return;
    OverlandBoundaryCells& b = model.tables.ov_boundary;
    const int num_cells = model.grid.num_cells;
    std::vector<double> first_column;
    if (!distribute_columns(ctx, rows, cell_ids, num_cells,
                            {{1, &first_column, "ov_boundary_type"},
                             {2, &b.value, "ov_boundary_value"},
                             {2, &b.index, "ov_boundary_index"}}))
        return;
    if (!allocate(ctx, b.type, static_cast<std::size_t>(num_cells) + 1, "ov_boundary_type"))
        return;
    for (int cell = 1; cell <= num_cells; ++cell)
        b.type[cell] = truncate_to_int(first_column[cell]);
}

}  // namespace

void read_index_maps(Model& model, RunContext& ctx) {
    MappingTables& tables = model.tables;
    tables = MappingTables{};
    const ProjectSettings& p = model.project;
    if (p.given(Card::MAPPING_TABLE)) {
        if (!load_table_file(ctx, p.text(Card::MAPPING_TABLE), TableFileKind::grid,
                             tables.grid_file)) {
            ctx.error.raise(kUnableToOpenMappingTable, {.text2 = p.text(Card::MAPPING_TABLE)});
            return;
        }
        check_grid_tables(tables, ctx);
        read_time_series_index(tables, ctx);
        if (ctx.error.pending())
            return;
    }
    if (p.given(Card::ST_MAPPING_TABLE)) {
        if (!load_table_file(ctx, p.text(Card::ST_MAPPING_TABLE), TableFileKind::stream,
                             tables.stream_file)) {
            ctx.error.raise(kUnableToOpenMappingTable, {.text2 = p.text(Card::ST_MAPPING_TABLE)});
            return;
        }
        check_stream_tables(tables, ctx);
    }
    if (has_table(model, MappingTable::wetland_properties)) {
        print_progress(model, ctx, "Simulating wetlands\n");
        read_wetlands(model, ctx);
        if (ctx.error.pending())
            return;
    }
    if (p.given(Card::OV_BOUNDARY)) {
        if (!has_table(model, MappingTable::overland_boundary)) {
            ctx.error.raise(kOverlandBoundaryTableMissing);
            return;
        }
        read_overland_boundary(model, ctx);
    }
}

}  // namespace torva
