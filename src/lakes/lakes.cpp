#include "lakes/lakes.hpp"

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

}  // namespace

void set_up_lakes(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    if (!p.given(Card::OVERLAND_LAKE_MAP) && !p.given(Card::OVERLAND_LAKE_FILE))
        return;
    if (model.overland.scheme == OverlandScheme::explicit_scheme) {
        ctx.print_error(
            "Error: overland lakes exchange water with the land around them through the ADE "
            "schemes only: give OVERTYPE ade or ade-pc with an OVERLAND_LAKE_MAP.\n");
        ctx.error.raise(err::message_printed);
        return;
    }
    if (!read_overland_lakes(model, ctx) || !allocate_work_arrays(model, ctx))
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
    for (int k = 1; k <= lakes.count; ++k)
        if (!update_overland_lake(model, ctx, k))
            return;
    add_to_totals(model, &VolumeTotals::overland_lake_precipitation, lakes.flows.rain);
    add_to_totals(model, &VolumeTotals::overland_lake_inflow,
                  lakes.flows.rain + lakes.flows.inflow);
    add_to_totals(model, &VolumeTotals::overland_lake_outflow, lakes.flows.outflow);
    lakes.flows = OverlandLakeFlows{};
}

}  // namespace torva
