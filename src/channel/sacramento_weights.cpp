// The stream cells' shares of the Sacramento channel inflow: by default each
// entry's share of the channel length lying in stream cells; or a weight
// file, one line per entry: row, column, link, node and weight. The weights
// sum to 1, so that the channels receive exactly what the accounting gives.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "channel/channel.hpp"
#include "channel/routing.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

// How far from 1 the weights of a file may sum (they are written with a few
// digits).
constexpr double kWeightSumTolerance = 1e-6;

bool weight_fault(RunContext& ctx, const std::string& file, int line, const std::string& what) {
    ctx.print_and_log("Error: Sacramento weight file %s, line %d: %s\n", file.c_str(), line,
                      what.c_str());
    ctx.error.raise(err::message_printed);
    return false;
}

// The entry of stream cell (row, col) for (link, node); -1 when there is none.
int find_entry(const StreamCells& sc, int row, int col, int link, int node) {
    for (int s = 1; s <= sc.count; ++s) {
        if (sc.row[s] != row || sc.col[s] != col)
            continue;
        for (int e = sc.first_entry[s]; e < sc.first_entry[s + 1]; ++e)
            if (sc.link[e] == link && sc.node[e] == node)
                return e;
    }
    return -1;
}

bool read_weight_file(Model& model, RunContext& ctx, const std::string& path) {
    StreamCells& sc = model.channel.stream;
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = "Sacramento weight", .text2 = path});
        return false;
    }
    LineReader reader(file, ctx);
    std::string line;
    std::vector<int> given_on(sc.sac_weight.size(), 0);
    bool ok = true;
    while (ok && reader.next(line)) {
        const int number = reader.line_number();
        Tokens tokens(line);
        if (tokens.empty() || tokens.rest().front() == '#')
            continue;
        int row = 0, col = 0, link = 0, node = 0;
        double weight = 0.0;
        if (!tokens.integer(row) || !tokens.integer(col) || !tokens.integer(link) ||
            !tokens.integer(node) || !tokens.real(weight) || !tokens.empty()) {
            ok = weight_fault(ctx, path, number,
                              "a line holds row, column, link, node and weight, five numbers.");
            break;
        }
        const int e = find_entry(sc, row, col, link, node);
        if (e < 0) {
            ok = weight_fault(ctx, path, number,
                              "no stream cell at row " + std::to_string(row) + ", column " +
                                  std::to_string(col) + " holds link " + std::to_string(link) +
                                  ", node " + std::to_string(node) + ".");
        } else if (given_on[e] > 0) {
            ok = weight_fault(
                ctx, path, number,
                "this entry has a weight already (line " + std::to_string(given_on[e]) + ").");
        } else if (!(weight >= 0.0)) {
            ok = weight_fault(ctx, path, number, "a weight must not be negative.");
        } else if (weight > 0.0 && !routable(model.channel.link[link])) {
            ok = weight_fault(ctx, path, number,
                              "link " + std::to_string(link) +
                                  " is a lake or a structure and carries no inflow.");
        } else {
            sc.sac_weight[e] = weight;
            given_on[e] = number;
        }
    }
    std::fclose(file);
    return ok && !ctx.error.pending();
}

}  // namespace

bool set_up_sacramento_weights(Model& model, RunContext& ctx) {
    Channel& ch = model.channel;
    StreamCells& sc = ch.stream;
    const std::string& file = model.sacramento.weight_file;
    if (!ch.lakes.empty()) {
        ctx.print_and_log(
            "Error: Sacramento soil moisture accounting does not run with lakes in the channel "
            "network: a lake would hold back the channel inflow of its stream cells.\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    std::fill(sc.sac_weight.begin(), sc.sac_weight.end(), 0.0);
    if (!file.empty()) {
        if (!read_weight_file(model, ctx, file))
            return false;
    } else {
        for (std::size_t e = 0; e < sc.sac_weight.size(); ++e)
            if (routable(ch.link[sc.link[e]]))
                sc.sac_weight[e] = sc.fraction[e] * ch.link[sc.link[e]].dx;
    }
    double sum = 0.0;
    for (const double w : sc.sac_weight) sum += w;
    if (file.empty()) {
        if (!(sum > 0.0)) {
            ctx.print_and_log(
                "Error: the stream cells hold no channel that can take the Sacramento channel "
                "inflow.\n");
            ctx.error.raise(err::message_printed);
            return false;
        }
        for (double& w : sc.sac_weight) w /= sum;
        return true;
    }
    if (std::fabs(sum - 1.0) > kWeightSumTolerance) {
        ctx.print_and_log(
            "Error: the weights of Sacramento weight file %s sum to %.9g; they must sum to 1.\n",
            file.c_str(), sum);
        ctx.error.raise(err::message_printed);
        return false;
    }
    // What the written digits leave over is shared out, so that the channels
    // receive the inflow exactly.
    for (double& w : sc.sac_weight) w /= sum;
    return true;
}

}  // namespace torva
