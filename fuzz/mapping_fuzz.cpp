// Fuzz target for the mapping table readers. The input holds three files cut
// at the file separator: a mapping table file (written as tables.cmt), an index
// map (index.map) and a stream map (links.smp). The table file is read as a grid
// and as a stream table file with every table looked up and its rows read; the
// index map is read over a 3 x 3 grid in both index modes; then a whole start-up
// reads tables.cmt as MAPPING_TABLE and ST_MAPPING_TABLE (with OV_BOUNDARY
// given), and every table it finds is turned into per-cell and per-node values.
//
//   fuzz/run.sh 120   (builds every target with clang, ASan and UBSan)

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "fuzz_support.hpp"
#include "grid/mapping.hpp"

namespace {

using namespace torva;

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

void read_every_table(RunContext& ctx, const std::vector<std::string>& lines, TableFileKind kind) {
    TableFile file;
    parse_table_file(lines, kind, file);
    file.path = "tables.cmt";
    const int last = kind == TableFileKind::grid ? kLastGridTable : kLastStreamTable;
    for (int t = 1; t <= last; ++t) {
        const TableLocation location = find_table(file, t);
        const int columns = kind == TableFileKind::grid
                                ? table_columns(static_cast<MappingTable>(t))
                                : table_columns(static_cast<StreamTable>(t));
        TableRows rows;
        ctx.error.clear();
        if (read_table_rows(ctx, file, location, "T", columns, rows)) {
            double sum = 0.0;
            for (int r = 0; r < rows.num_ids; ++r)
                for (int k = 1; k <= columns; ++k) sum += rows.value(r, k);
            (void)sum;
        }
    }
}

// 3 x 3 cells with the north-west corner outside the watershed.
void make_grid(Grid& g) {
    g.rows = 3;
    g.cols = 3;
    g.cell_number.assign(25, 0);
    g.num_cells = 0;
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c)
            if (r > 1 || c > 1)
                g.number_at(r, c) = ++g.num_cells;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_scratch_folder();
    const std::vector<std::string> parts = fuzz::split_input(data, size, 3);
    fuzz::write_file("tables.cmt", parts[0]);
    fuzz::write_file("index.map", parts[1]);
    fuzz::write_file("links.smp", parts[2]);

    RunContext ctx;
    ctx.out = fuzz::null_console();
    ctx.err = ctx.out;

    const std::vector<std::string> lines = split_lines(parts[0]);
    read_every_table(ctx, lines, TableFileKind::grid);
    read_every_table(ctx, lines, TableFileKind::stream);

    Model model;
    make_grid(model.grid);
    std::vector<int> ids;
    ctx.error.clear();
    read_index_map(ctx, "index.map", model.grid, 40, IndexZero::refused, ids);
    ctx.error.clear();
    read_index_map(ctx, "index.map", model.grid, 5, IndexZero::means_none, ids);

    model.project[Card::MAPPING_TABLE].given = true;
    model.project[Card::MAPPING_TABLE].text = "tables.cmt";
    model.project[Card::ST_MAPPING_TABLE].given = true;
    model.project[Card::ST_MAPPING_TABLE].text = "tables.cmt";
    model.project[Card::OV_BOUNDARY].given = true;
    ctx.error.clear();
    read_index_maps(model, ctx);

    std::vector<double> per_cell;
    for (int t = 1; t <= kLastGridTable; ++t) {
        const auto table = static_cast<MappingTable>(t);
        if (!has_table(model, table) || table_columns(table) == 0)
            continue;
        ctx.error.clear();
        table_to_cells(model, ctx, table, table_columns(table), per_cell, "fuzz");
    }
    // Three links of 2, 3 and 1 nodes.
    const std::vector<int> nodes_per_link{0, 2, 3, 1};
    LinkNodeValues first(4, std::vector<double>(4, 0.0));
    LinkNodeValues last(4, std::vector<double>(4, 0.0));
    for (int t = 1; t <= kLastStreamTable; ++t) {
        const auto table = static_cast<StreamTable>(t);
        if (!has_stream_table(model, table))
            continue;
        ctx.error.clear();
        if (table_columns(table) == 1)
            read_stream_table(model, ctx, table, {&first}, 3, nodes_per_link);
        else if (table_columns(table) == 2)
            read_stream_table(model, ctx, table, {&first, &last}, 3, nodes_per_link);
        else
            read_stream_table(model, ctx, table, {&first, nullptr, &last}, 3, nodes_per_link);
    }
    return 0;
}
