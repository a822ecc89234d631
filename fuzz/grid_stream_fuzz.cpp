// The grid-stream file over a fixed network of two links (2 and 3 nodes) on a
// 3 x 3 grid whose corner cell lies outside the mask; the tag [A] is
// declared. Whatever the file, every entry kept must name a cell of the mask,
// a node of the network and a fraction in (0, 1].

#include <cstdlib>

#include "channel/grid_stream.hpp"
#include "core/context.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace torva;
    fuzz::enter_scratch_folder();
    fuzz::write_file("chan.gst", std::string(reinterpret_cast<const char*>(data), size));

    RunContext ctx;
    fuzz::quiet_with_tag(ctx, 1);

    Grid grid;
    grid.rows = grid.cols = 3;
    grid.cell_size = 10.0;
    grid.cell_number.assign(25, 0);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c)
            if (r != 3 || c != 3)
                grid.number_at(r, c) = ++grid.num_cells;

    Channel ch;
    ch.links = 2;
    ch.max_nodes = 3;
    ch.link.resize(3);
    ch.link[1].nodes = 2;
    ch.link[2].nodes = 3;

    if (!read_grid_stream_file(ch, grid, ctx, "chan.gst"))
        return 0;
    const StreamCells& s = ch.stream;
    if (s.count < 1 || s.first_entry.size() != static_cast<std::size_t>(s.count) + 2)
        std::abort();
    for (int k = 1; k <= s.count; ++k) {
        if (s.cell[k] < 1 || s.cell[k] > grid.num_cells ||
            grid.number_at(s.row[k], s.col[k]) != s.cell[k])
            std::abort();
        for (int e = s.first_entry[k]; e < s.first_entry[k + 1]; ++e)
            if (s.link[e] < 1 || s.link[e] > ch.links || s.node[e] < 1 ||
                s.node[e] > ch.link[s.link[e]].nodes || !(s.fraction[e] > 0.0) ||
                s.fraction[e] > 1.0)
                std::abort();
    }
    return 0;
}
