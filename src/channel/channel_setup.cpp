// The channel set-up: reads the channel input file pass by pass, places the
// nodes on the grid through the grid-stream file, takes a channel hotstart,
// and writes the two diagnostic files.

#include <cmath>
#include <cstdio>

#include "channel/channel.hpp"
#include "channel/channel_input.hpp"
#include "channel/channel_lake_pool.hpp"
#include "channel/grid_stream.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"

namespace torva {
namespace {

constexpr double kLeastNodeSpacing = 0.0001;  // m
constexpr double kWaterDepth = 1e-16;         // m; less counts as a dry node

void save_connectivity(Channel& ch) {
    for (int link = 1; link <= ch.links; ++link) {
        ChannelLink& l = ch.link[link];
        l.saved_downstream = l.downstream;
        l.saved_upstream_count = l.upstream_count;
        l.saved_upstream = l.upstream;
    }
}

// Bed conductivity and thickness per node: the link's own values, or where no
// link gives them and the project exchanges water between streams and
// groundwater, the project's.
void set_bed_parameters(Model& model) {
    Channel& ch = model.channel;
    bool any_link = false;
    for (int link = 1; link <= ch.links; ++link) any_link = any_link || ch.link[link].groundwater;
    const bool project_wide = !any_link && model.project.given(Card::K_RIVER);
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (!l.groundwater && !project_wide)
            continue;
        const double k = project_wide ? model.project.real(Card::K_RIVER) : l.bed_conductivity;
        const double m = project_wide ? model.project.real(Card::M_RIVER) : l.bed_thickness;
        for (int node = 1; node <= l.nodes; ++node) {
            ch.krb(node, link) = k;
            ch.mrb(node, link) = m;
        }
    }
}

// A line "LAKE link volume water-surface": the water a lake of the network
// held when the hot start was written. The volume decides (the surface is
// there for the reader of the file); the lake's surface and the cells it
// floods follow from it.
bool read_lake_line(Channel& ch, RunContext& ctx, const std::string& path, int line_number,
                    const std::string& line, Tokens& t) {
    int link = 0;
    double volume = 0.0;
    if (!t.integer(link) || !t.real(volume) || !std::isfinite(volume) || volume < 0.0) {
        ctx.print(
            "Error in the channel hotstart file %s, line %d: \"%s\" is no line of LAKE, lake "
            "link and the lake's volume of 0 or more (m3).\n",
            path.c_str(), line_number, line.c_str());
        ctx.error.raise(err::message_printed);
        return false;
    }
    ChannelLake* lake = link >= 1 && link <= ch.links && ch.link[link].is(kLakeLink)
                            ? lake_holding(ch, link)
                            : nullptr;
    if (!lake) {
        // Its water would be lost without a trace.
        ctx.print(
            "Error in the channel hotstart file %s, line %d: link %d holds no lake in this "
            "channel network, so the lake's %.2f m3 have nowhere to go.\n",
            path.c_str(), line_number, link, volume);
        ctx.error.raise(err::message_printed);
        return false;
    }
    lake->volume = volume;
    lake->initial_volume = volume;
    lake->water_surface = lake_level_of(*lake, volume);
    return true;
}

// Lines "node link depth discharge", and a LAKE line for each lake; lines of
// nodes the network does not have are passed over. A lake without a line
// starts at its INITWSE.
bool read_channel_hotstart(Model& model, RunContext& ctx, const std::string& path) {
    Channel& ch = model.channel;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return stop_with(ctx,
                         {message_text("Can't open channel hotstart file named %s", path.c_str())});
    LineReader lines(file, ctx);
    std::string line;
    bool read = true;
    while (read && lines.next(line)) {
        Tokens t(line);
        if (t.empty())
            continue;
        Tokens after_word(line);
        if (std::string word; after_word.text(word) && word == "LAKE") {
            read = read_lake_line(ch, ctx, path, lines.line_number(), line, after_word);
            continue;
        }
        int node = 0, link = 0;
        double depth = 0.0, discharge = 0.0;
        if (!t.integer(node) || !t.integer(link) || !t.real(depth) || !t.real(discharge) ||
            !std::isfinite(depth) || !std::isfinite(discharge) || depth < 0.0) {
            ctx.print(
                "Error in the channel hotstart file %s, line %d: \"%s\" is no line of node, "
                "link, depth of 0 or more, and discharge.\n",
                path.c_str(), lines.line_number(), line.c_str());
            ctx.error.raise(err::message_printed);
            read = false;
            break;
        }
        if (link < 1 || link > ch.links || node < 1 || node > ch.link[link].nodes)
            continue;
        ch.depth(node, link) = depth;
        ch.yp(node, link) = depth + ch.bel(node, link);
        ch.qp(node, link) = discharge;
        if (depth > kWaterDepth)
            ch.holds_water = true;
    }
    std::fclose(file);
    return read;
}

bool check_node_spacing(RunContext& ctx, const Channel& ch) {
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (l.is(kLakeLink) || l.is(kStructureLink) || l.dx >= kLeastNodeSpacing)
            continue;
        return stop_with(ctx,
                         {message_text("\nYour channel node spacing is %f in link %d", l.dx, link),
                          "You must specify a realistic value.  Program terminated."});
    }
    return true;
}

// Writes a diagnostic file through `write`; a file that cannot be opened or
// written stops the run.
template <typename Write>
bool write_diagnostic(RunContext& ctx, const char* name, Write write) {
    OutputFile file = open_output_file(ctx, name, Numbering::numbered);
    if (!file)
        return raise_open_failure(ctx, file);
    write(file.get());
    return close_output(ctx, file);
}

bool write_diagnostics(const Model& model, RunContext& ctx) {
    const Channel& ch = model.channel;
    const bool short_links = write_diagnostic(ctx, "short_links.dat", [&ch](std::FILE* f) {
        std::fprintf(f, "Links with 1 node:\n");
        for (int link = 1; link <= ch.links; ++link)
            if (ch.link[link].nodes == 1)
                std::fprintf(f, "%d\n", link);
    });
    if (!short_links)
        return false;
    const Grid& grid = model.grid;
    return write_diagnostic(ctx, "bad_thalweg.dat", [&ch, &grid](std::FILE* f) {
        std::fprintf(f, "Problem    link    node    thalweg     cell    elev\n");
        std::fprintf(f,
                     "--> problem codes: 0=thalweg>cell elev, 1= difference <0.5, 2= "
                     "difference<1.0, 3=difference>3.5\n");
        const StreamCells& s = ch.stream;
        for (int k = 1; k <= s.count; ++k)
            for (int e = s.first_entry[k]; e < s.first_entry[k + 1]; ++e) {
                const int link = s.link[e], node = s.node[e], cell = s.cell[k];
                const double bed = ch.bel(node, link);
                if (bed > grid.elevation[cell])
                    std::fprintf(f, "0     %4d    %4d   %lf   %d   %lf\n", link, node, bed, cell,
                                 grid.elevation[cell]);
            }
    });
}

// Sediment is routed only in erodible trapezoidal channels.
bool check_erodible_channels(Model& model, RunContext& ctx) {
    if (!model.project.given(Card::SOIL_EROSION))
        return true;
    const Channel& ch = model.channel;
    for (int link = 1; link <= ch.links; ++link)
        if (ch.link[link].is(kTrapezoidLink) && ch.link[link].is(kErodibleLink))
            return true;
    std::fprintf(ctx.err,
                 "\nYou have selected overland erosion with channel routing.  The channel\n"
                 "input file does not contain any erodable trapezoidal links (linktype 30).\n"
                 "You must edit all link types and convert them to erodable trapezoidal\n"
                 "links.  At present TORVA only performs sediment routing in erodable\n"
                 "trapezoidal channels.  TORVA exiting.\n");
    ctx.error.raise(err::message_printed);
    return false;
}

bool set_up_network(Model& model, RunContext& ctx, const std::string& path) {
    ChannelFile file;
    LinkCounts counts;
    if (!load_channel_file(ctx, path, file) || !read_channel_header(model, ctx, file) ||
        !read_link_cards(model, ctx, file, counts) || !allocate_node_arrays(model, ctx))
        return false;
    print_channel_summary(model, ctx, counts);
    if (!read_connectivity(model, ctx, file, counts) || !read_node_cards(model, ctx, file) ||
        !copy_trapezoid_sections(model, ctx) || !read_breakpoint_sections(model, ctx, file))
        return false;

    Channel& ch = model.channel;
    if (!model.project.given(Card::STREAM_CELL))
        return stop_with(ctx, {"Error: The channel network needs the grid-stream file that "
                               "places its nodes in grid cells.",
                               "Name it with the STREAM_CELL card of the project file."});
    if (!read_grid_stream_file(ch, model.grid, ctx,
                               strip_quotes(model.project.text(Card::STREAM_CELL))))
        return false;
    channel_progress(model, ctx,
                     "Finished reading non-orthogonal channel information from gst file.\n");
    if (!read_channel_lakes(model, ctx, file))
        return false;
    save_connectivity(ch);
    set_bed_parameters(model);

    if (model.project.given(Card::READ_CHAN_HOTSTART) &&
        !read_channel_hotstart(model, ctx,
                               strip_quotes(model.project.text(Card::READ_CHAN_HOTSTART))))
        return false;
    if (!check_node_spacing(ctx, ch))
        return false;
    channel_progress(model, ctx, "Setting up the grid-stream data... ");
    channel_progress(model, ctx, "done.\n");
    return check_erodible_channels(model, ctx);
}

}  // namespace

void write_channel_hotstart(const Model& model, RunContext& ctx) {
    if (!model.project.given(Card::WRITE_CHAN_HOTSTART) || !model.channel.read)
        return;
    const Channel& ch = model.channel;
    OutputFile file =
        open_output_file(ctx, model.project.text(Card::WRITE_CHAN_HOTSTART), Numbering::numbered);
    if (!file) {
        raise_open_failure(ctx, file);
        return;
    }
    // The lines READ_CHAN_HOTSTART reads, with every digit, so that a run
    // started from the file starts from the water this run ended with.
    for (int link = 1; link <= ch.links; ++link) {
        const ChannelLink& l = ch.link[link];
        if (l.is(kLakeLink) || l.is(kStructureLink) || l.is(kTakenByLakeLink))
            continue;
        for (int j = 1; j <= l.nodes; ++j)
            file.print("%d %d %.17g %.17g\n", j, link, ch.yp(j, link) - ch.bel(j, link),
                       ch.qp(j, link));
    }
    // The lakes' water, with that of the links they have taken over.
    for (const ChannelLake& lake : ch.lakes)
        file.print("LAKE %d %.17g %.17g\n", lake.link, lake.volume, lake.water_surface);
    if (!file.close()) {
        ctx.print("Error: could not write the channel hot start file %s: %s\n", file.path().c_str(),
                  file.failure().c_str());
        ctx.error.raise(err::message_printed);
    }
}

void write_channel_diagnostics(const Model& model, RunContext& ctx) {
    if (model.channel.read)
        write_diagnostics(model, ctx);
}

void read_channel_network(Model& model, RunContext& ctx) {
    if (!model.project.given(Card::CHANNEL_INPUT))
        return;
    const std::string path = strip_quotes(model.project.text(Card::CHANNEL_INPUT));
    channel_progress(model, ctx, "reading channel input data from file %s\n", path.c_str());
    model.channel = Channel{};
    if (!set_up_network(model, ctx, path))
        return;
    model.channel.read = true;
    if (model.project.channel_routing == ChannelRouting::explicit_routing)
        return;
    // The network is read and checked, but this version routes it only with
    // CHAN_EXPLIC: running on without the channels would report a watershed
    // without them.
    ctx.print(
        "\nError: Channel routing is not available in this version of TORVA.\n"
        "The channel network of %s was read and checked; the run stops here.\n",
        path.c_str());
    ctx.error.raise(err::message_printed);
}

}  // namespace torva
