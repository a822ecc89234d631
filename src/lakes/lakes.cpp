#include "lakes/lakes.hpp"

#include <algorithm>

#include "core/arrays.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "lakes/overland_lake.hpp"

namespace torva {
namespace {

void add_to_totals(Model& model, double VolumeTotals::*field, double volume) {
    model.totals.run.*field += volume;
    model.totals.event.*field += volume;
}

bool allocate_work_arrays(Model& model, RunContext& ctx) {
    Lakes& lakes = model.lakes;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    if (!allocate(ctx, lakes.candidate, size, "olake_candidate") ||
        !allocate(ctx, lakes.candidate_surface, size, "olake_candidate_elev") ||
        !allocate(ctx, lakes.order, size, "olake_order") ||
        !allocate(ctx, lakes.listed, size, "olake_listed"))
        return false;
    // Lake cells take no part in infiltration or evapotranspiration from the soil.
    Soil& soil = model.soil;
    if (soil.lake_cell.size() != size && !allocate(ctx, soil.lake_cell, size, "lake_cell"))
        return false;
    for (std::size_t i = 1; i < size; ++i)
        if (lakes.cell_lake[i] > 0)
            soil.lake_cell[i] = 1;
    return true;
}

// Open water evaporates at the potential rate the hour's weather gives each
// of the lake's cells, never more than the lake holds with what has moved
// into it this step. True when the lake gave up its last water.
bool evaporate(Model& model, int k, double dt) {
    Lakes& lakes = model.lakes;
    const double* pet = model.soil.potential_et.data();
    const double area = model.grid.cell_size * model.grid.cell_size;
    double rate = 0.0;  // m/s summed over the cells
    for (const int cell : lakes.members[k]) rate += std::max(pet[cell], 0.0);
    const double demand = rate * dt * area;
    const double held = std::max(lakes.volume[k] + lakes.pending[k], 0.0);
    const double evaporated = std::min(demand, held);
    lakes.pending[k] -= evaporated;
    lakes.flows.evaporation += evaporated;
    return evaporated > 0.0 && evaporated >= held;
}

}  // namespace

void set_up_lakes(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    const bool overland_lakes =
        p.given(Card::OVERLAND_LAKE_MAP) || p.given(Card::OVERLAND_LAKE_FILE);
    if (p.given(Card::LAKE_OUTPUT) && !overland_lakes && model.channel.lakes.empty()) {
        ctx.print_error(
            "Error: the LAKE_OUTPUT card asks for the levels of the lakes, but the project has "
            "none: give an OVERLAND_LAKE_MAP with its OVERLAND_LAKE_FILE, or LAKE links in the "
            "channel input file.\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    if (!overland_lakes)
        return;
    if (!read_overland_lakes(model, ctx) || !take_lake_hot_start(model, ctx) ||
        !allocate_work_arrays(model, ctx))
        return;
    // Faces with lake cells move water into and out of the lakes: the overland
    // schemes run their lake form.
    model.overland.form = ExecutionForm::serial;
    // Water standing on a lake cell at the start is the lake's.
    gather_water_on_lake_cells(model);
    for (int k = 1; k <= model.lakes.count; ++k)
        if (!update_overland_lake(model, ctx, k))
            return;
}

void overland_lakes_phase(Model& model, RunContext& ctx) {
    Lakes& lakes = model.lakes;
    if (!lakes.present())
        return;
    // Lakes spread their water over cells of their own choosing.
    model.overland.water.known = false;
    const std::size_t size = static_cast<std::size_t>(model.grid.num_cells) + 1;
    const bool evaporating =
        model.run.long_term && model.hydromet.started && model.soil.potential_et.size() == size;
    for (int k = 1; k <= lakes.count; ++k) {
        const bool emptied = evaporating && evaporate(model, k, model.run.time_step);
        if (!update_overland_lake(model, ctx, k, emptied))
            return;
    }
    add_to_totals(model, &VolumeTotals::overland_lake_precipitation, lakes.flows.rain);
    add_to_totals(model, &VolumeTotals::overland_lake_inflow,
                  lakes.flows.rain + lakes.flows.inflow);
    add_to_totals(model, &VolumeTotals::overland_lake_outflow, lakes.flows.outflow);
    // Evaporation from a lake is evaporation from the surface water: it
    // counts with the run's evapotranspiration and the hour's actual rate.
    const double evaporated = lakes.flows.evaporation;
    add_to_totals(model, &VolumeTotals::overland_lake_evaporation, evaporated);
    add_to_totals(model, &VolumeTotals::evaporation, evaporated);
    add_to_totals(model, &VolumeTotals::direct_evaporation, evaporated);
    model.soil.period_actual_et += evaporated;
    lakes.flows = OverlandLakeFlows{};
}

}  // namespace torva
