#include "channel/grid_stream.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "channel/channel_file.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

// The file's lines, read one card at a time; blank lines are passed over.
class GridStreamReader {
  public:
    GridStreamReader(std::FILE* file, RunContext& ctx, const std::string& path)
        : lines_(file, ctx), ctx_(ctx), path_(path) {}

    // The next line that holds a word; false at the end of the file.
    bool next(std::string& word, Tokens& args) {
        while (lines_.next(line_)) {
            args = Tokens(line_);
            if (args.text(word))
                return true;
        }
        return false;
    }
    // The next line must be the card `expected`; false after its message.
    bool card(const char* expected, Tokens& args, const std::string& what) {
        std::string word;
        if (!next(word, args))
            return refuse("the file ends where " + what + " should follow.");
        if (!same_word(word, expected))
            return refuse(what + " should follow here, not \"" + word + "\".");
        return true;
    }
    bool integer(Tokens& args, const char* card, int& value) {
        if (!args.integer(value))
            return refuse(std::string("the ") + card + " card needs whole numbers.");
        return true;
    }
    bool refuse(const std::string& what) {
        ctx_.print("Error in the grid-stream file %s, line %d: %s\n", path_.c_str(),
                   lines_.line_number(), what.c_str());
        ctx_.error.raise(err::message_printed);
        return false;
    }
    static bool same_word(std::string_view word, std::string_view expected) {
        if (word.size() != expected.size())
            return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (std::toupper(static_cast<unsigned char>(word[i])) != expected[i])
                return false;
        return true;
    }

  private:
    LineReader lines_;
    RunContext& ctx_;
    const std::string& path_;
    std::string line_;
};

bool read_entry(GridStreamReader& in, const Channel& ch, StreamCells& s, int cell_index,
                int entry) {
    Tokens args("");
    const std::string name = message_text("entry %d of stream cell %d (row %d, column %d)", entry,
                                          cell_index, s.row.back(), s.col.back());
    if (!in.card("LINKNODE", args, "LINKNODE link node fraction (" + name + ")"))
        return false;
    int link = 0, node = 0;
    double fraction = 0.0;
    if (!in.integer(args, "LINKNODE", link) || !in.integer(args, "LINKNODE", node))
        return false;
    if (!args.real(fraction) || !std::isfinite(fraction))
        return in.refuse("the fraction of " + name + " is not a number.");
    if (link < 1 || link > ch.links)
        return in.refuse(
            name + message_text(" names link %d; links are numbered 1 to %d.", link, ch.links));
    const int nodes = ch.link[link].nodes;
    if (node < 1 || node > nodes)
        return in.refuse(name + message_text(" names node %d of link %d, whose nodes are "
                                             "numbered 1 to %d.",
                                             node, link, nodes));
    if (!(fraction > 0.0 && fraction <= 1.0))
        return in.refuse(name + message_text(" gives the fraction %g; the share of a node's "
                                             "length inside a cell lies above 0 and at most 1.",
                                             fraction));
    s.link.push_back(link);
    s.node.push_back(node);
    s.fraction.push_back(fraction);
    return true;
}

bool read_stream_cell(GridStreamReader& in, const Channel& ch, const Grid& grid, StreamCells& s,
                      int index, int count) {
    Tokens args("");
    if (!in.card("CELLIJ", args,
                 message_text("CELLIJ row column of stream cell %d of %d", index, count)))
        return false;
    int row = 0, col = 0;
    if (!in.integer(args, "CELLIJ", row) || !in.integer(args, "CELLIJ", col))
        return false;
    const int cell = grid.number_or_zero(row, col);
    if (cell == 0)
        return in.refuse(
            message_text("stream cell %d lies at row %d, column %d, outside the "
                         "watershed mask.",
                         index, row, col));
    s.cell.push_back(cell);
    s.row.push_back(row);
    s.col.push_back(col);
    int entries = 0;
    if (!in.card("NUMNODES", args, message_text("NUMNODES of stream cell %d", index)) ||
        !in.integer(args, "NUMNODES", entries))
        return false;
    if (entries < 0)
        return in.refuse(message_text("stream cell %d holds %d nodes.", index, entries));
    for (int k = 1; k <= entries; ++k)
        if (!read_entry(in, ch, s, index, k))
            return false;
    s.first_entry.push_back(static_cast<int>(s.link.size()));
    s.max_entries = std::max(s.max_entries, entries);
    return true;
}

bool allocate_exchange(RunContext& ctx, StreamCells& s) {
    const std::size_t n = s.link.size();
    try {
        for (std::vector<double>* a :
             {&s.sac_weight, &s.lateral_volume, &s.river_flux, &s.volume, &s.river_volume})
            a->assign(n, 0.0);
    } catch (const std::exception&) {
        ctx.print("Error allocating memory for variable %s\n", "gst_Vlat");
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

}  // namespace

bool read_grid_stream_file(Channel& channel, const Grid& grid, RunContext& ctx,
                           const std::string& path) {
    StreamCells& s = channel.stream;
    s = StreamCells{};
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "grid-stream", .text2 = path});
        return false;
    }
    GridStreamReader in(file, ctx, path);
    std::string word;
    Tokens args("");
    bool read = false;
    if (!in.next(word, args) || word.compare(0, 14, "GRIDSTREAMFILE") != 0) {
        // Without the file the grid could not hand water to the channels.
        in.refuse("the file does not begin with GRIDSTREAMFILE; it is no grid-stream file.");
    } else if (!in.next(word, args) || !GridStreamReader::same_word(word, "STREAMCELLS")) {
        stop_with(ctx, {"The second card in the grid-stream file must be STREAMCELLS",
                        "File format error, program terminating."});
    } else if (!args.integer(s.count) || s.count < 1) {
        stop_with(ctx, {"The number of STREAMCELLS in the grid-stream (.gst) file",
                        "must be greater than 0.  File format error, program terminating"});
    } else {
        s.first_entry.assign(2, 0);  // cell 0 holds nothing; cell 1 starts at entry 0
        s.cell.assign(1, 0);
        s.row.assign(1, 0);
        s.col.assign(1, 0);
        read = true;
        for (int index = 1; index <= s.count && read; ++index)
            read = read_stream_cell(in, channel, grid, s, index, s.count);
        read = read && allocate_exchange(ctx, s);
    }
    std::fclose(file);
    return read;
}

}  // namespace torva
