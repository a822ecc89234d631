// The channel set-up from its input file: every reading pass, the break-point
// tables, lakes, the diagnostic files and a channel hotstart, then both
// directions of the cross-section sweep over what was read. Input parts are
// the channel input file and the hotstart file. A 3 x 3 grid, a grid-stream
// file of one entry and a time series and an elevation series are given; the
// tag [A] is declared. Networks of more than 50 nodes in a link and tables of
// 501 to 30000 levels are passed over: they are only slower, not different.

#include <cctype>
#include <memory>
#include <sstream>

#include "channel/channel.hpp"
#include "channel/cross_section.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "fuzz_support.hpp"

namespace {

using namespace torva;

// Whether a card of the file asks for more work than a fuzz run affords.
bool too_slow(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream tokens(line);
        std::string word;
        long long value = 0;
        if (!(tokens >> word >> value))
            continue;
        for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if ((word == "nodes" || word == "maxnodes") && value > 50)
            return true;
        if (word == "num_interp" && value > 500 && value <= 30000)
            return true;
    }
    return false;
}

void give_grid(Grid& grid) {
    grid.rows = grid.cols = 3;
    grid.cell_size = 10.0;
    grid.num_cells = 9;
    grid.cell_number.assign(25, 0);
    grid.elevation.assign(10, 0.0);
    grid.cell_row.assign(10, 0);
    grid.cell_col.assign(10, 0);
    for (int r = 1, n = 0; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) {
            grid.number_at(r, c) = ++n;
            grid.cell_row[n] = r;
            grid.cell_col[n] = c;
            grid.elevation[n] = 10.0 - 0.1 * r;
        }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::enter_scratch_folder();
    const std::vector<std::string> files = fuzz::split_input(data, size, 2);
    if (too_slow(files[0]))
        return 0;
    fuzz::write_file("chan.txt", files[0]);
    fuzz::write_file("hot.txt", files[1]);
    fuzz::write_file("chan.gst",
                     "GRIDSTREAMFILE\nSTREAMCELLS 1\nCELLIJ 2 2\nNUMNODES 1\n"
                     "LINKNODE 1 1 1.0\n");

    RunContext ctx;
    fuzz::quiet_with_tag(ctx, 2);
    ctx.series.time_series.push_back(TimeSeries{"flow", {0.0, 1.0}, {1.0, 2.0}});
    ctx.series.elevation_series.push_back(ElevationSeries{"curve", {0.0, 1.0}, {0.0, 3.0}});

    auto model = std::make_unique<Model>();
    give_grid(model->grid);
    ProjectSettings& p = model->project;
    p[Card::CHANNEL_INPUT].given = true;
    p[Card::CHANNEL_INPUT].text = "chan.txt";
    p[Card::STREAM_CELL].given = true;
    p[Card::STREAM_CELL].text = "chan.gst";
    if (!files[1].empty()) {
        p[Card::READ_CHAN_HOTSTART].given = true;
        p[Card::READ_CHAN_HOTSTART].text = "hot.txt";
    }
    read_channel_network(*model, ctx);

    Channel& ch = model->channel;
    if (!ch.read)
        return 0;
    // Half a metre of water at every node, and back from the areas found.
    for (int link = 1; link <= ch.links; ++link)
        for (int node = 1; node <= ch.link[link].nodes; ++node)
            ch.yp(node, link) = ch.bel(node, link) + 0.5;
    ctx.error.clear();
    if (sections_from_stage(ch, ctx))
        sections_from_area(ch, ctx);
    return 0;
}
