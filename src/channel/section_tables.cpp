#include "channel/section_tables.hpp"

#include <algorithm>

#include "channel/cross_section.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"

namespace torva {
namespace {

constexpr int kMaxLevels = 30000;
constexpr double kMinLevelSpacing = 0.0001;
constexpr double kMaxLevelSpacing = 1.0;
constexpr int kMostStretches = 49;

bool refuse(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
    return false;
}

bool levels_valid(RunContext& ctx, int levels, int number, int link) {
    if (levels >= 1 && levels <= kMaxLevels)
        return true;
    ctx.print(
        "\n\nError: The number of interpolation points [%d] for table %d in link %d is invalid. "
        "(Range is 1-30000.) \n",
        levels, number, link);
    return refuse(ctx);
}

double relief(const std::vector<double>& elevation) {
    if (elevation.empty())
        return 0.0;
    const auto [low, high] = std::minmax_element(elevation.begin(), elevation.end());
    return *high - *low;
}

bool spacing_valid(RunContext& ctx, double dy, int levels, int number, int link) {
    if (dy >= kMinLevelSpacing && dy <= kMaxLevelSpacing)
        return true;
    ctx.print(
        "Error: The interpolation distance [%6.5lf] produced by the number of interpolation "
        "points [%d]\nfor table %d in link %d is invalid. (Range is 0.0001 to 1.0)\n",
        dy, levels, number, link);
    return refuse(ctx);
}

bool stations_in_order(RunContext& ctx, const std::vector<double>& station, int number, int link) {
    for (std::size_t i = 1; i < station.size(); ++i)
        if (!(station[i] >= station[i - 1])) {
            ctx.print(
                "Error: The stations of table %d in link %d run backwards between pairs %zu and "
                "%zu.\nStations must be given from left to right.\n",
                number, link, i, i + 1);
            return refuse(ctx);
        }
    return true;
}

void too_jagged(RunContext& ctx, int link) {
    ctx.print("There is a serious problem with a channel cross-section in\n");
    ctx.print("link %d.  The cross-section interpolation routine has found\n", link);
    ctx.print("that this cross-section is very jagged, with over 50 'islands'\n");
    ctx.print("for certain depths.  Calculating cross-section properties in\n");
    ctx.print("this case is very dubious.  Check your cross section, smooth\n");
    ctx.print("it if necessary and try again.\n");
}

// The section interpolated at the fraction w of the way from a to b, point by
// point (both have the same number of points).
void interpolate_section(const FileSection& a, const FileSection& b, double w,
                         std::vector<double>& station, std::vector<double>& elevation) {
    const std::size_t m = a.station.size();
    station.resize(m);
    elevation.resize(m);
    for (std::size_t i = 0; i < m; ++i) {
        station[i] = (1.0 - w) * a.station[i] + w * b.station[i];
        elevation[i] = (1.0 - w) * a.elevation[i] + w * b.elevation[i];
    }
}

// The section resampled at `count` equally spaced stations between its first
// and last station, elevations interpolated along the bed.
void resample_section(std::vector<double>& station, std::vector<double>& elevation, int count) {
    count = std::max(count, 2);
    const std::vector<double> x = station, z = elevation;
    const double left = x.front(), right = x.back();
    station.resize(count);
    elevation.resize(count);
    std::size_t i = 0;
    for (int k = 0; k < count; ++k) {
        const double at = k + 1 == count ? right : left + (right - left) * k / (count - 1);
        while (i + 2 < x.size() && x[i + 1] < at) ++i;
        const double span = x[i + 1] - x[i];
        const double w = span > 0.0 ? std::clamp((at - x[i]) / span, 0.0, 1.0) : 0.0;
        station[k] = at;
        elevation[k] = z[i] + (z[i + 1] - z[i]) * w;
    }
}

// Sections of one link at different nodes must agree on their number of
// pairs and levels before they can be interpolated: the longer sections lose
// their last pairs, and all take the most levels.
void reconcile_sections(RunContext& ctx, int link, std::vector<FileSection>& sections) {
    std::size_t fewest = sections.front().station.size();
    int most_levels = 0;
    for (const FileSection& s : sections) {
        fewest = std::min(fewest, s.station.size());
        most_levels = std::max(most_levels, s.levels);
    }
    for (std::size_t k = 0; k + 1 < sections.size(); ++k) {
        const std::size_t first = sections[k].station.size();
        const std::size_t second = sections[k + 1].station.size();
        if (first != second) {
            ctx.print_and_log(
                "\n\n  WARNING!!!! When using two break-point cross-sections the number of pairs "
                "\n  must be equal, which they are not for link %d.\n",
                link);
            ctx.print_and_log(
                "  ---> Disregarding the last %zu pairs of the %s cross-section. <---\n\n",
                std::max(first, second) - fewest, first > second ? "first" : "second");
        }
        if (sections[k].levels != sections[k + 1].levels)
            ctx.print_and_log(
                "\n\n  Using the greater of the two number of interpolation points \n  for both "
                "cross-section in link %d.\n\n",
                link);
    }
    for (FileSection& s : sections) {
        s.station.resize(fewest);
        s.elevation.resize(fewest);
        s.levels = most_levels;
    }
}

}  // namespace

int add_section_table(Channel& channel, RunContext& ctx, int link, int number,
                      const std::vector<double>& station, const std::vector<double>& elevation,
                      int levels) {
    if (!levels_valid(ctx, levels, number, link))
        return 0;
    const double dy = relief(elevation) / levels;
    if (!spacing_valid(ctx, dy, levels, number, link) ||
        !stations_in_order(ctx, station, number, link))
        return 0;

    SectionTables& s = channel.sections;
    if (s.tables.empty())
        s.tables.emplace_back();  // table 0 names no table
    SectionTable table;
    table.link = link;
    table.levels = levels;
    table.dy = dy;
    table.first = s.xarea.size();
    table.first_point = s.xbp.size();
    table.points = static_cast<int>(station.size());
    s.xarea.resize(table.first + levels + 1);
    s.xtw.resize(table.first + levels + 1);
    s.xi1.resize(table.first + levels + 1);
    s.xbp.insert(s.xbp.end(), station.begin(), station.end());
    s.ybp.insert(s.ybp.end(), elevation.begin(), elevation.end());
    const int stretches = integrate_section_levels(
        station.data(), elevation.data(), table.points, levels, dy, channel.link[link].inverse_n,
        &s.xarea[table.first], &s.xtw[table.first], &s.xi1[table.first]);
    const auto drop = [&s, &table] {
        s.xarea.resize(table.first);
        s.xtw.resize(table.first);
        s.xi1.resize(table.first);
        s.xbp.resize(table.first_point);
        s.ybp.resize(table.first_point);
        return 0;
    };
    if (stretches > kMostStretches) {
        too_jagged(ctx, link);
        refuse(ctx);
        return drop();
    }
    if (!(s.xarea[table.first + 1] > 0.0)) {
        // Areas must grow from the first level on: the conversions from area
        // divide by the first level's area and by the growth between levels.
        ctx.print(
            "Error: Table %d in link %d holds no water at its first interpolation depth "
            "[%6.5lf].\nIts lowest point must lie on a stretch of bed, not at the foot of a "
            "vertical wall.\n",
            number, link, dy);
        refuse(ctx);
        return drop();
    }
    s.tables.push_back(table);
    return s.count();
}

bool assign_link_sections(Channel& channel, RunContext& ctx, int link,
                          std::vector<FileSection> sections) {
    for (const FileSection& s : sections)
        if (!levels_valid(ctx, s.levels, s.number, link) ||
            !spacing_valid(ctx, relief(s.elevation) / s.levels, s.levels, s.number, link))
            return false;
    // In node order; of two sections at one node the later holds.
    std::stable_sort(sections.begin(), sections.end(),
                     [](const FileSection& a, const FileSection& b) { return a.node < b.node; });
    for (std::size_t k = sections.size(); k-- > 1;)
        if (sections[k - 1].node == sections[k].node)
            sections.erase(sections.begin() + static_cast<std::ptrdiff_t>(k - 1));
    if (sections.size() > 1)
        reconcile_sections(ctx, link, sections);

    const ChannelLink& l = channel.link[link];
    const bool erodible = l.is(kErodibleLink);
    // Tables of the file's sections, shared by the nodes that use them unchanged.
    std::vector<int> shared(sections.size(), 0);
    if (!erodible)
        for (std::size_t k = 0; k < sections.size(); ++k) {
            const FileSection& s = sections[k];
            shared[k] =
                add_section_table(channel, ctx, link, s.number, s.station, s.elevation, s.levels);
            if (shared[k] == 0)
                return false;
        }

    std::vector<double> station, elevation;
    std::size_t next = 0;  // first section at or below the node
    for (int node = 1; node <= l.nodes; ++node) {
        while (next + 1 < sections.size() && sections[next + 1].node <= node) ++next;
        const FileSection& here = sections[next];
        const bool between = node > here.node && next + 1 < sections.size();
        if (!between && !erodible) {
            channel.table_num(node, link) = shared[next];
            continue;
        }
        if (between) {
            const FileSection& below = sections[next + 1];
            const double w = static_cast<double>(node - here.node) / (below.node - here.node);
            interpolate_section(here, below, w, station, elevation);
        } else {
            station = here.station;
            elevation = here.elevation;
        }
        if (erodible)
            resample_section(station, elevation, here.levels);
        const int table = add_section_table(channel, ctx, link, channel.sections.count() + 1,
                                            station, elevation, here.levels);
        if (table == 0)
            return false;
        channel.table_num(node, link) = table;
    }
    return true;
}

}  // namespace torva
