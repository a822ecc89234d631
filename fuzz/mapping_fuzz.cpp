// Fuzz target for the mapping table readers: the input is taken as a mapping
// table file (grid and stream kinds), every table of both keyword lists is
// looked up and its rows read, and the same bytes are read as an index map over
// a small grid and as the mapping table file of a whole start-up.
//
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//       fuzz/mapping_fuzz.cpp src/grid/mapping.cpp src/input/tokens.cpp ...

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "grid/mapping.hpp"
#include "run/context.hpp"
#include "run/model.hpp"

namespace {

using namespace torva;

std::vector<std::string> split_lines(const uint8_t* data, size_t size) {
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(data[i]);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

void read_every_table(RunContext& ctx, const std::vector<std::string>& lines, TableFileKind kind) {
    TableFile file;
    parse_table_file(lines, kind, file);
    file.path = "fuzz.cmt";
    const int last = kind == TableFileKind::grid ? kLastGridTable : kLastStreamTable;
    for (int t = 1; t <= last; ++t) {
        const TableLocation location = find_table(file, t);
        const int columns = kind == TableFileKind::grid
                                ? table_columns(static_cast<MappingTable>(t))
                                : table_columns(static_cast<StreamTable>(t));
        TableRows rows;
        ctx.error.clear();
        if (read_table_rows(ctx, file, location, "T", columns, rows)) {
            for (int r = 0; r < rows.num_ids; ++r)
                for (int k = 1; k <= columns; ++k) (void)rows.value(r, k);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Memory-backed when the machine has it: the file is written for every input.
    static const std::string path =
        std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/torva_mapping_fuzz_" +
        std::to_string(getpid()) + ".cmt";
    RunContext ctx;
    ctx.out = std::fopen("/dev/null", "w");
    ctx.err = ctx.out;

    const std::vector<std::string> lines = split_lines(data, size);
    read_every_table(ctx, lines, TableFileKind::grid);
    read_every_table(ctx, lines, TableFileKind::stream);

    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);

        // A 3 x 3 grid with its north-west corner outside the watershed.
        Model model;
        Grid& g = model.grid;
        g.rows = 3;
        g.cols = 3;
        g.cell_number.assign(25, 0);
        for (int r = 1; r <= 3; ++r)
            for (int c = 1; c <= 3; ++c)
                if (r > 1 || c > 1)
                    g.number_at(r, c) = ++g.num_cells;

        std::vector<int> ids;
        ctx.error.clear();
        read_index_map(ctx, path, g, 40, IndexZero::refused, ids);
        ctx.error.clear();
        read_index_map(ctx, path, g, 5, IndexZero::means_none, ids);

        // The whole start-up with the input as the mapping table file; its
        // index maps may name the input itself.
        model.project[Card::MAPPING_TABLE].given = true;
        model.project[Card::MAPPING_TABLE].text = path;
        model.project[Card::OV_BOUNDARY].given = true;
        ctx.error.clear();
        read_index_maps(model, ctx);
        ctx.error.clear();
        std::vector<double> per_cell;
        for (int t = 1; t <= kLastGridTable; ++t)
            if (has_table(model, static_cast<MappingTable>(t)) &&
                table_columns(static_cast<MappingTable>(t)) > 0) {
                table_to_cells(model, ctx, static_cast<MappingTable>(t), 1, per_cell, "fuzz");
                ctx.error.clear();
            }
    }
    std::fclose(ctx.out);
    return 0;
}
