#include "surface/roughness.hpp"

#include <algorithm>
#include <cstdio>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "core/parallel.hpp"
#include "core/progress.hpp"
#include "grid/mapping.hpp"
#include "grid/raster.hpp"
#include "input/tokens.hpp"
#include "surface/overland.hpp"

namespace torva {
namespace {

// Reads a real map named by a card into the per-cell array.
bool read_parameter_map(Model& model, RunContext& ctx, Card card, const char* kind,
                        std::vector<double>& values) {
    const std::string path = strip_quotes(model.project.text(card));
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (!file) {
        ctx.error.raise(err::open_file, {.text1 = kind, .text2 = path});
        return false;
    }
    const bool read = read_real_map(ctx, file, path, model.grid, values);
    std::fclose(file);
    return read;
}

bool mapping_table_has(const Model& model, MappingTable table) {
    return model.project.given(Card::MAPPING_TABLE) && has_table(model, table);
}

void read_interception(Model& model, RunContext& ctx, std::size_t entries) {
    const ProjectSettings& cards = model.project;
    SurfaceParameters& s = model.surface;
    s.interception = cards.given(Card::INTERCEPTION) || cards.given(Card::STORAGE_CAPACITY) ||
                     cards.given(Card::INTERCEPTION_COEFF);
    if (!s.interception)
        return;
    if (!allocate(ctx, s.interception_storage, entries, "interception_storage") ||
        !allocate(ctx, s.interception_coeff, entries, "interception_coeff") ||
        !allocate(ctx, s.intercepted_depth, entries, "intercepted_depth") ||
        !allocate(ctx, s.effective_rain_rate, entries, "effective_rain_rate"))
        return;
    if (mapping_table_has(model, MappingTable::interception) &&
        !read_table(model, ctx, MappingTable::interception,
                    {{1, &s.interception_storage, "interception_storage"},
                     {2, &s.interception_coeff, "interception_coeff"}}))
        return;

    // A map named by its card overrides the table's values.
    if (cards.given(Card::STORAGE_CAPACITY)) {
        progress(model, ctx, "reading interception storage from file: %s\n",
                 cards.text(Card::STORAGE_CAPACITY).c_str());
        if (!read_parameter_map(model, ctx, Card::STORAGE_CAPACITY, "interception storage map",
                                s.interception_storage))
            return;
    } else {
        progress(model, ctx, "reading interception storage table and map from master table file\n");
    }
    if (cards.given(Card::INTERCEPTION_COEFF)) {
        progress(model, ctx, "reading interception coeff. from file: %s\n",
                 cards.text(Card::INTERCEPTION_COEFF).c_str());
        read_parameter_map(model, ctx, Card::INTERCEPTION_COEFF, "interception coefficient map",
                           s.interception_coeff);
    } else {
        progress(model, ctx,
                 "reading interception coeff. table and map from the master table file\n");
    }
}

// Retention depths are given in millimetres and kept in metres.
void read_retention(Model& model, RunContext& ctx, std::size_t entries) {
    const ProjectSettings& cards = model.project;
    std::vector<double>& retention = model.surface.retention_depth;
    if (!allocate(ctx, retention, entries, "retention_depth"))
        return;
    const bool map = cards.given(Card::RETEN_DEPTH) && !cards.text(Card::RETEN_DEPTH).empty();
    if (map) {
        progress(model, ctx, "reading retention storage map from file: %s\n",
                 cards.text(Card::RETEN_DEPTH).c_str());
        if (!read_parameter_map(model, ctx, Card::RETEN_DEPTH, "retention depth map", retention))
            return;
    } else if (cards.given(Card::RETENTION)) {
        std::fill(retention.begin() + 1, retention.end(), cards.real(Card::RETENTION));
    } else if (cards.given(Card::RETEN_DEPTH) &&
               mapping_table_has(model, MappingTable::retention)) {
        progress(model, ctx, "reading retention storage table and map from master table file\n");
        if (!table_to_cells(model, ctx, MappingTable::retention, 1, retention, "retention_depth"))
            return;
    }
    // A negative retention would let a dry cell send water it does not hold.
    const Grid& g = model.grid;
    for (std::size_t i = 1; i < retention.size(); ++i) {
        if (!(retention[i] >= 0.0)) {
            const bool placed = i < g.cell_row.size() && i < g.cell_col.size();
            ctx.print(
                "Error: the retention depth of grid cell %d (row %d, column %d) is %g mm; "
                "retention depths cannot be negative.\n",
                static_cast<int>(i), placed ? g.cell_row[i] : 0, placed ? g.cell_col[i] : 0,
                retention[i]);
            ctx.error.raise(err::message_printed);
            return;
        }
        retention[i] /= 1000.0;
    }
}

void read_roughness(Model& model, RunContext& ctx, std::size_t entries) {
    const ProjectSettings& cards = model.project;
    std::vector<double>& n = model.surface.manning_n;
    if (!allocate(ctx, n, entries, "manning_n"))
        return;
    if (cards.given(Card::ROUGHNESS)) {
        progress(model, ctx, "reading roughness map from file: %s\n",
                 cards.text(Card::ROUGHNESS).c_str());
        if (!read_parameter_map(model, ctx, Card::ROUGHNESS, "roughness map", n))
            return;
    } else if (mapping_table_has(model, MappingTable::roughness) && !cards.given(Card::MANNING_N)) {
        progress(model, ctx, "reading roughness table and map from master table file\n");
        if (!table_to_cells(model, ctx, MappingTable::roughness, 1, n, "manning_n"))
            return;
    } else {
        const double uniform = cards.real(Card::MANNING_N);
        if (uniform <= 0.0) {
            ctx.print("\nInvalid spatially uniform overland flow Manning n value=%lf\n", uniform);
            ctx.print(
                "Give MANNING_N (more than 0), a ROUGHNESS map, or a roughness table in the "
                "MAPPING_TABLE file.\n");
            ctx.print("TORVA exiting.\n");
            ctx.error.raise(err::message_printed);
            return;
        }
        std::fill(n.begin() + 1, n.end(), uniform);
        return;
    }
    // Flow over a cell without roughness has no bound.
    for (std::size_t i = 1; i < n.size(); ++i) {
        if (!(n[i] > 0.0)) {
            ctx.print("Overland Manning n=0 at grid cell %d.  Program terminating.\n",
                      static_cast<int>(i));
            ctx.error.raise(err::message_printed);
            return;
        }
    }
}

}  // namespace

void read_surface_parameters(Model& model, RunContext& ctx) {
    const std::size_t entries = static_cast<std::size_t>(model.grid.num_cells) + 1;
    read_interception(model, ctx, entries);
    if (ctx.error.pending())
        return;
    read_retention(model, ctx, entries);
    if (ctx.error.pending())
        return;
    read_roughness(model, ctx, entries);
    if (ctx.error.pending())
        return;
    read_initial_depths(model, ctx);
}

double seasonal_divisor(int month, double latitude) {
    const bool north_of_37 = latitude >= 37.0;
    switch (month) {
        case 4:
            return north_of_37 ? 4.0 : 2.5;
        case 5:
            return north_of_37 ? 3.0 : 1.0;
        case 6:
            return north_of_37 ? 2.0 : 1.0;
        case 7:
        case 8:
        case 9:
            return 1.0;
        case 10:
            return 2.5;
        default:
            return 4.0;  // winter months
    }
}

double intercept_rain(SurfaceParameters& surface, const std::vector<double>& rain_rate, int cells,
                      double dt, double cell_size, int month, double latitude,
                      const std::vector<int>* lake_number, const RowSpans* visit,
                      const std::vector<int>* row_begin) {
    const double f = seasonal_divisor(month, latitude);
    const double* storage = surface.interception_storage.data();
    const double* coeff = surface.interception_coeff.data();
    const double* rate = rain_rate.data();
    double* held = surface.intercepted_depth.data();
    double* effective = surface.effective_rain_rate.data();
    const int* lake = lake_number && !lake_number->empty() ? lake_number->data() : nullptr;
    // What the canopy holds back, mm summed over cells.
    const RowSpans every_cell;
    const std::vector<int> no_rows;
    const CellSums<1> sums = ordered_span_sums<CellSums<1>>(
        visit && row_begin ? *visit : every_cell, row_begin ? *row_begin : no_rows, 1, cells,
        cells >= kMinParallelCells, [&](int i, CellSums<1>& s) {
            const double r = rate[i];
            if (r < 0.0) {
                effective[i] = 0.0;
                return;
            }
            if (lake && lake[i] > 0) {
                effective[i] = r;
                return;
            }
            const double capacity = std::max(0.0, storage[i] / f - held[i]);  // mm
            const double c = coeff[i] / f;
            const double rain_depth = r * dt / 3600.0;  // mm
            double intercepted;
            if (capacity > rain_depth) {
                effective[i] = 0.0;
                intercepted = rain_depth;
            } else {
                // The store fills up; of the rain beyond it the share c is still
                // held on the leaves, the rest reaches the ground.
                const double beyond = rain_depth - capacity;
                effective[i] = beyond * (1.0 - c) / dt * 3600.0;
                intercepted = capacity + c * beyond;
            }
            held[i] += intercepted;
            s[0] += intercepted;
        });
    const double intercepted_sum = sums[0];
    return intercepted_sum * cell_size * cell_size / 1000.0;
}

}  // namespace torva
