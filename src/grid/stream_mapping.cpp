// Stream mapping: the tables of the stream mapping table file given to the
// nodes of the channel network through a stream map of one index per link.

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "grid/mapping.hpp"
#include "grid/mapping_internal.hpp"
#include "input/tokens.hpp"

namespace torva {

using namespace mapping_internal;

bool read_stream_table(Model& model, RunContext& ctx, StreamTable which,
                       std::initializer_list<LinkNodeValues*> destinations, int num_links,
                       const std::vector<int>& nodes_per_link) {
    const TableFile& file = model.tables.stream_file;
    const char* name = table_name(which);
    const int columns = table_columns(which);
    if (!file.loaded) {
        ctx.error.raise(kUnableToOpenMappingTable,
                        {.text2 = model.project.text(Card::ST_MAPPING_TABLE)});
        return false;
    }
    if (static_cast<int>(destinations.size()) > columns) {
        ctx.print_and_log("Table %s has %d columns, %zu asked for\n", name, columns,
                          destinations.size());
        fail_with_printed_message(ctx);
        return false;
    }
    // The destinations must hold every node of every link; a short one is refused
    // rather than written past.
    int max_nodes = 0;
    bool sized = num_links >= 0 && nodes_per_link.size() > static_cast<std::size_t>(num_links);
    for (int l = 1; sized && l <= num_links; ++l)
        max_nodes = std::max(max_nodes, nodes_per_link[l]);
    for (LinkNodeValues* d : destinations) {
        if (!d || !sized)
            continue;
        if (d->size() <= static_cast<std::size_t>(max_nodes))
            sized = false;
        for (std::size_t node = 1; sized && node < d->size(); ++node)
            if ((*d)[node].size() <= static_cast<std::size_t>(num_links))
                sized = false;
    }
    if (!sized) {
        ctx.print_and_log(
            "Error: the per-node arrays for stream table %s do not hold every link and node\n",
            name);
        fail_with_printed_message(ctx);
        return false;
    }

    const TableLocation location = find_table(file, static_cast<int>(which));
    TableRows rows;
    if (!read_table_rows(ctx, file, location, name, columns, rows))
        return false;

    const std::string& path = location.index_map_path;
    std::FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!f) {
        ctx.error.raise(kUnableToOpenStreamMap, {.text2 = path});
        return false;
    }
    std::vector<int> link_index(static_cast<std::size_t>(num_links) + 1, 0);
    bool ok = true;
    {
        LineReader reader(f, ctx);
        std::string line;
        std::string word;
        if (reader.next(line))
            Tokens(line).text(word);
        while (!word.empty() && word.back() == '\r') word.pop_back();
        if (word != "STREAM_MAP") {
            ctx.error.raise(kStreamMapHeader, {.text2 = path});
            ok = false;
        }
        if (ok) {
            int links = -1;
            if (reader.next(line)) {
                Tokens t(line);
                std::string word;
                t.text(word);
                links = t.integer();
            }
            if (links != num_links) {
                ctx.error.raise(kStreamMapLinks, {.text2 = path});
                ok = false;
            }
        }
        IntegerScanner scanner(reader);
        for (int l = 1; ok && l <= num_links; ++l) {
            long value = 0;
            if (!scanner.next_checked(value)) {
                ctx.error.raise(kStreamMapData, {.text2 = path});
                ok = false;
            } else if (value < 0 || value > rows.largest_id) {
                ctx.print_and_log(
                    "Stream map index %ld of link %d is not an id of table %s (file: %s)\n", value,
                    l, name, path.c_str());
                fail_with_printed_message(ctx);
                ok = false;
            } else {
                link_index[l] = static_cast<int>(value);
            }
        }
    }
    std::fclose(f);
    if (!ok)
        return false;

    int column = 0;
    for (LinkNodeValues* d : destinations) {
        ++column;
        if (!d)
            continue;
        const std::vector<double> lookup = column_lookup(rows, column);
        for (int l = 1; l <= num_links; ++l) {
            if (link_index[l] == 0)
                continue;
            for (int node = 1; node <= nodes_per_link[l]; ++node)
                (*d)[node][l] = lookup[link_index[l]];
        }
    }
    return true;
}

}  // namespace torva
