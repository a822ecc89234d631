// Table lookups: the rows of a table and its index map turned into per-cell arrays.

#include <algorithm>
#include <cstdio>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"

namespace torva {
namespace mapping_internal {

std::vector<double> column_lookup(const TableRows& rows, int column) {
    std::vector<double> lookup(static_cast<std::size_t>(std::max(rows.largest_id, 0)) + 1, 0.0);
    for (int r = 0; r < rows.num_ids; ++r)
        if (rows.ids[r] >= 1)
            lookup[rows.ids[r]] = rows.value(r, column);
    return lookup;
}

bool read_rows_and_ids(Model& model, RunContext& ctx, MappingTable which, IndexZero zero,
                       TableRows& rows, std::vector<int>& cell_ids) {
    const TableFile& file = model.tables.grid_file;
    if (!file.loaded) {
        ctx.error.raise(kUnableToOpenMappingTable,
                        {.text2 = model.project.text(Card::MAPPING_TABLE)});
        return false;
    }
    const TableLocation location = find_table(file, static_cast<int>(which));
    if (!read_table_rows(ctx, file, location, table_name(which), table_columns(which), rows))
        return false;
    return read_index_map(ctx, location.index_map_path, model.grid, rows.largest_id, zero,
                          cell_ids);
}

// Gives each wanted column's per-cell array the looked-up values of the cells' ids.
bool distribute_columns(RunContext& ctx, const TableRows& rows, const std::vector<int>& cell_ids,
                        int num_cells, std::initializer_list<TableColumn> columns) {
    for (const TableColumn& c : columns) {
        if (!c.per_cell)
            continue;
        const std::vector<double> lookup = column_lookup(rows, c.column);
        std::vector<double>& per_cell = *c.per_cell;
        if (per_cell.size() != static_cast<std::size_t>(num_cells) + 1 &&
            !allocate(ctx, per_cell, static_cast<std::size_t>(num_cells) + 1, c.array_name))
            return false;
        const int* ids = cell_ids.data();
        const double* values = lookup.data();
        double* out = per_cell.data();
#pragma omp parallel for schedule(static) if (num_cells >= kMinParallelCells)
        for (int cell = 1; cell <= num_cells; ++cell)
            out[cell] = ids[cell] >= 1 ? values[ids[cell]] : 0.0;
    }
    return true;
}

}  // namespace mapping_internal

using namespace mapping_internal;

namespace {

bool check_column(RunContext& ctx, const char* name, int column, int columns) {
    if (column >= 1 && column <= columns)
        return true;
    ctx.print_and_log("Column %d asked of table %s, which has %d columns\n", column, name, columns);
    fail_with_printed_message(ctx);
    return false;
}

}  // namespace

bool table_to_cells(Model& model, RunContext& ctx, MappingTable which, int column,
                    std::vector<double>& per_cell, const char* array_name) {
    return read_table(model, ctx, which, {{column, &per_cell, array_name}});
}

bool read_table(Model& model, RunContext& ctx, MappingTable which,
                std::initializer_list<TableColumn> columns) {
    for (const TableColumn& c : columns)
        if (!check_column(ctx, table_name(which), c.column, table_columns(which)))
            return false;
    TableRows rows;
    std::vector<int> cell_ids;
    if (!read_rows_and_ids(model, ctx, which, IndexZero::refused, rows, cell_ids))
        return false;
    return distribute_columns(ctx, rows, cell_ids, model.grid.num_cells, columns);
}

bool read_table_with_ids(Model& model, RunContext& ctx, MappingTable which, TableRows& rows,
                         std::vector<int>& cell_ids, IndexZero zero) {
    return read_rows_and_ids(model, ctx, which, zero, rows, cell_ids);
}

}  // namespace torva
