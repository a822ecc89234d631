#include "input/availability.hpp"

#include <cstdio>
#include <span>
#include <string>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "input/project.hpp"

namespace torva {
namespace {

// The cards of each process that a project may ask for. The channel network
// cards (CHANNEL_INPUT, STREAM_CELL, READ_CHAN_HOTSTART, K_RIVER, M_RIVER) and
// the explicit routing's cards (CHAN_EXPLIC, MAX_COURANT_NUMBER, HEAD_BOUND,
// BOUND_DEPTH, BOUND_TS, OVERBANK_FLOW, OVERLAND_BACKWATER) are not listed:
// they are built, and a network without CHAN_EXPLIC stops at its reader. Nor
// are the channel outputs (kChannelOutputCards), which need CHAN_EXPLIC.
// clang-format off
constexpr Card kChannelRoutingCards[] = {
    Card::ST_MAPPING_TABLE, Card::MATERIALS,
    Card::SECTION_TABLE, Card::ST_TIME_STEP, Card::LINKS, Card::NODES, Card::DIS_PROFILE,
    Card::DIS_PROFILE_OUT, Card::WAT_SURF_PROFILE, Card::WAT_SURF_PROFILE_OUT,
    Card::INCLUDE_CHANNEL_DEPTH, Card::CHAN_PREISS, Card::CHAN_DRAIN,
    Card::CHAN_BACKWATER, Card::CHAN_MESH, Card::EXPLIC_BACKWATER, Card::EXPLIC_HOTSTART,
    Card::STREAM_LOSS, Card::ALPHA, Card::BETA, Card::THETA,
    Card::CHANNEL_GRIDSIZE, Card::CHANNEL_DELTAT, Card::DRAIN_TIME, Card::Q_MIN, Card::N_LINKS,
    Card::MAX_NODES, Card::NON_ORTHO_CHANNELS, Card::FIRST_ORDER_CHAN_Q,
    Card::HOTSTART_IS_DEPTH,
};
constexpr Card kChannelOutputCards[] = {
    Card::IN_HYD_LOCATION, Card::OUT_HYD_LOCATION, Card::OUT_DEP_LOCATION, Card::CHAN_DEPTH,
    Card::CHAN_DISCHARGE, Card::CHAN_STAGE, Card::CHAN_VELOCITY, Card::FLOOD_STREAM,
    Card::STREAM_INFO, Card::WRITE_CHAN_HOTSTART,
};
// The saturated zone and the water table under Richards columns
// (AQUIFER_DELTA_Z) are built; the water table assigning the soil's water
// content and a shared unsaturated and saturated store are not.
constexpr Card kGroundwaterCouplingCards[] = {
    Card::GW_ASSIGN_THETA, Card::SINGLE_UNSAT_SAT, Card::INIT_ELEV_HEAD,
};
// Wells take their rates from the WELL_TABLE (and its time series); a
// separate file of well levels is not read.
constexpr Card kWellLevelCards[] = {
    Card::GW_WELL_LEVEL,
};
// Lakes and their output file are simulated. Pumps on lakes come with the
// channel network (PUMPTO at a lake link) and bed seepage with the lake's
// MLAKE there; the project file's own lake pump file and bed thickness are
// not read.
constexpr Card kLakePumpCards[] = {
    Card::LAKE_PUMP, Card::M_LAKE,
};
constexpr Card kOptimisationCards[] = {
    Card::OPTIMIZE,
};
constexpr Card kCellHydrographCards[] = {
    Card::CELL_HYDRO,
};
constexpr Card kSedimentCards[] = {
    Card::SOIL_EROSION, Card::SOIL_ERODABILITY, Card::CROP_MANAGEMENT, Card::CONSERVATION_PRACTICE,
    Card::SAND_MAP, Card::SILT_MAP, Card::IN_SED_LOC, Card::VOL_SED_SUSP, Card::MAX_SED_FLUX,
    Card::NET_SED_VOLUME, Card::OUTLET_SED_FLUX, Card::OUTLET_SED_TSS, Card::OUT_TSS_LOC,
    Card::OUT_SED_LOC, Card::SAND_SIZE, Card::SILT_SIZE, Card::CLAY_SIZE, Card::WATER_TEMP,
    Card::SED_POROSITY, Card::CHAN_SED_FLUX,
};
// The mixing layer is the top of the soil in which dissolved constituents
// mix with the runoff: it belongs to contaminant transport.
constexpr Card kContaminantCards[] = {
    Card::MIXING_LAYER_DEPTH, Card::CONTAM_MAP, Card::CHAN_CON_TRANS, Card::CHAN_CON_INPUT, Card::CHAN_DECAY_COEF,
    Card::CHAN_DISP_COEF, Card::INIT_CHAN_CONC, Card::OV_CON_TRANS, Card::ALL_CONTAM_OUTPUT,
    Card::OV_POINT_SOURCE, Card::OV_CON_MAP, Card::OV_DECAY_COEF, Card::OV_DISP_COEF,
    Card::OV_UPTAKE_RATE, Card::KINETICS_TIMESTEP_FACTOR, Card::OV_MASS_LOAD, Card::SOIL_CON_TRANS,
    Card::SOIL_STATIC_CONC, Card::SEDIMENT_CONTAM, Card::NUTRIENTS, Card::AQ_ENV, Card::OV_INIT_NO2,
    Card::OV_INIT_NO3, Card::OV_INIT_NH4, Card::OV_INIT_ON, Card::OV_INIT_OP, Card::OV_INIT_DP,
    Card::OV_INIT_ALG, Card::OV_INIT_CBOD, Card::OV_INIT_DO, Card::OV_DOC_INIT, Card::OV_DOC_FOC,
    Card::OV_DISPERSION, Card::ST_INIT_NO2, Card::ST_INIT_NO3, Card::ST_INIT_NH4, Card::ST_INIT_ON,
    Card::ST_INIT_OP, Card::ST_INIT_DP, Card::ST_INIT_ALG, Card::ST_INIT_CBOD, Card::ST_INIT_DO,
    Card::SOURCEFILE, Card::OUT_OV_NO2, Card::OUT_OV_NO3, Card::OUT_OV_NH4, Card::OUT_OV_ON,
    Card::OUT_OV_OP, Card::OUT_OV_DP, Card::OUT_OV_ALG, Card::OUT_OV_CBOD, Card::OUT_OV_DO,
    Card::OUT_ST_NO2, Card::OUT_ST_NO3, Card::OUT_ST_NH4, Card::OUT_ST_ON, Card::OUT_ST_OP,
    Card::OUT_ST_DP, Card::OUT_ST_ALG, Card::OUT_ST_CBOD, Card::OUT_ST_DO, Card::OUT_HYD_NO2,
    Card::OUT_HYD_NO3, Card::OUT_HYD_NH4, Card::OUT_HYD_ON, Card::OUT_HYD_OP, Card::OUT_HYD_DP,
    Card::OUT_HYD_ALG, Card::OUT_HYD_CBOD, Card::OUT_HYD_DO, Card::TOTAL_OV_N, Card::TOTAL_OV_P,
    Card::TOTAL_CHAN_N, Card::TOTAL_CHAN_KN, Card::TOTAL_CHAN_P, Card::CHAN_PH, Card::SOILS_KVX_P,
    Card::SOILS_KVX_C, Card::SOILS_KVX_N, Card::NO2_KOC, Card::NO3_KOC, Card::NH4_KOC, Card::ON_KOC,
    Card::OP_KOC, Card::DP_KOC, Card::NO2_KM, Card::NO3_KM, Card::NH4_KM, Card::ON_KM, Card::OP_KM,
    Card::DP_KM, Card::OUT_CON_LOCATION, Card::OUT_MASS_LOCATION,
};
constexpr Card kPipeCards[] = {
    Card::STORM_SEWER, Card::GRID_PIPE, Card::PIPE_FLOW, Card::PIPE_HEAD, Card::PIPE_TILE,
};
constexpr Card kHostCouplingCards[] = {
    Card::TANVIK, Card::MORREL, Card::TANVIK_EVENT_NUM, Card::MORREL_FIRST, Card::MOIST_TO_MORREL,
    Card::KSAT_TO_MORREL, Card::ROUGH_TO_MORREL, Card::POROS_TO_MORREL, Card::EROSIVITY_TO_MORREL,
    Card::CROP_FACT_TO_MORREL, Card::NET_EROSION_TO_MORREL, Card::MOIST_FROM_MORREL,
    Card::KSAT_FROM_MORREL, Card::ROUGH_FROM_MORREL, Card::EROSIVITY_FROM_MORREL,
    Card::CROP_FACT_FROM_MORREL, Card::ET_DEMAND_FROM_MORREL, Card::Q9_INPUT, Card::Q9_FLUXES,
    Card::Q9_NODES_TO_SEGS, Card::Q9_SEGMENT_MAP, Card::Q9_SEGMENT_FLUXES, Card::FYSSI,
};
constexpr Card kQdatCards[] = {
    Card::QDAT_FILE, Card::QDAT_BASE_GRID, Card::QDAT_BASE_STREAM, Card::QDAT_COMPRESSION,
    Card::QDAT_DATASETGROUP,
};
constexpr Card kTopographicIndexCards[] = {
    Card::TOPO_INDEX,
};
constexpr Card kElevationAdjustmentCards[] = {
    Card::ADJUST_ELEV,
};
constexpr Card kOverlandPumpCards[] = {
    Card::OV_PUMP,
};
constexpr Card kAreaReductionCards[] = {
    Card::AREA_REDUCTION, Card::UNIF_AREA_REDUCTION,
};
constexpr Card kNoContinuousRedistributionCards[] = {
    Card::NO_CONT_INF_REDIST,
};
constexpr Card kXWindowCards[] = {
    Card::XWINDOWS, Card::XRAIN, Card::XDEPTH, Card::XINFDEP, Card::X_FREQ, Card::XCHAN,
    Card::XWIN_WIDTH, Card::XWIN_HEIGHT, Card::XBIG, Card::XSURF,
};
constexpr Card kConsoleCards[] = {
    Card::PAUSE, Card::SUPPRESS_PRINTING,
};
// clang-format on

struct Process {
    std::string_view name;
    std::span<const Card> cards;
};

// The processes this version does not simulate: a project that gives any of
// their cards is refused at set-up. When a process lands, delete its line.
// clang-format off
constexpr Process kNotSimulated[] = {
    {"channel routing", kChannelRoutingCards},
    {"groundwater coupling with soil columns", kGroundwaterCouplingCards},
    {"well level files", kWellLevelCards},
    {"lake pumps and lake bed seepage from the project file", kLakePumpCards},
    {"optimisation output", kOptimisationCards},
    {"cell hydrographs", kCellHydrographCards},
    {"sediment transport", kSedimentCards},
    {"contaminants and nutrients", kContaminantCards},
    {"pipe network", kPipeCards},
    {"host coupling (TANVIK, MORREL, Q9)", kHostCouplingCards},
    {"QDAT model-data files", kQdatCards},
    {"topographic index", kTopographicIndexCards},
    {"elevation adjustments", kElevationAdjustmentCards},
    {"overland pumps", kOverlandPumpCards},
    {"infiltration area reduction", kAreaReductionCards},
    {"redistribution without continuous soil moisture", kNoContinuousRedistributionCards},
};
// clang-format on

// Cards that only concern a host's display: they change no simulated number,
// so a project that gives them runs, with a warning.
constexpr Process kDisplayOnly[] = {{"X-window plotting", kXWindowCards},
                                    {"console pauses and printing control", kConsoleCards}};

const Process* process_of(Card card, std::span<const Process> processes) {
    for (const Process& p : processes)
        for (Card c : p.cards)
            if (c == card)
                return &p;
    return nullptr;
}

// The channel outputs report the routed network: without CHAN_EXPLIC they
// would stay empty, and the location rows need their list of locations.
void refuse_channel_outputs_without_routing(const ProjectSettings& settings, RunContext& ctx,
                                            std::string_view project_file) {
    std::string listed;
    const bool routed = settings.channel_routing == ChannelRouting::explicit_routing;
    for (Card c : kChannelOutputCards) {
        if (!settings.given(c))
            continue;
        const bool needs_list = (c == Card::OUT_HYD_LOCATION || c == Card::OUT_DEP_LOCATION) &&
                                !settings.given(Card::IN_HYD_LOCATION);
        if (routed && !needs_list)
            continue;
        char line[160];
        std::snprintf(line, sizeof line, "  %-22s needs %s\n", card_name(c).c_str(),
                      routed ? "IN_HYD_LOCATION, the list of its locations" : "CHAN_EXPLIC");
        listed += line;
    }
    if (listed.empty())
        return;
    ctx.print(
        "Error: the project file %.*s asks for channel outputs it cannot have:\n%s"
        "Nothing has been simulated. Route the channels with CHAN_EXPLIC (with CHANNEL_INPUT and "
        "STREAM_CELL)\nand name the locations with IN_HYD_LOCATION, or remove these cards.\n",
        static_cast<int>(project_file.size()), project_file.data(), listed.c_str());
    ctx.error.raise(err::message_printed);
}

// CHAN_EXPLIC asks for the channels to be routed: without the network, or
// without the cells that tie its nodes to the grid, the run would report a
// watershed without channels as if it had routed them.
void refuse_routing_without_network(const ProjectSettings& settings, RunContext& ctx,
                                    std::string_view project_file) {
    if (settings.channel_routing != ChannelRouting::explicit_routing)
        return;
    for (Card c : {Card::CHANNEL_INPUT, Card::STREAM_CELL}) {
        if (settings.given(c))
            continue;
        ctx.print(
            "Error: the project file %.*s routes the channels (CHAN_EXPLIC) but gives no %s card\n"
            "(%s). Nothing has been simulated. Name the file with %s, or remove CHAN_EXPLIC.\n",
            static_cast<int>(project_file.size()), project_file.data(), card_name(c).c_str(),
            c == Card::CHANNEL_INPUT ? "the channel input file of the network"
                                     : "the grid-stream file that places its nodes in grid cells",
            card_name(c).c_str());
        ctx.error.raise(err::message_printed);
        return;
    }
}

}  // namespace

CardUse card_use(Card card) {
    if (process_of(card, kNotSimulated))
        return CardUse::not_simulated;
    if (process_of(card, kDisplayOnly))
        return CardUse::display_only;
    return CardUse::simulated;
}

std::string_view card_process(Card card) {
    if (const Process* p = process_of(card, kNotSimulated))
        return p->name;
    if (const Process* p = process_of(card, kDisplayOnly))
        return p->name;
    return {};
}

void refuse_unavailable_cards(const ProjectSettings& settings, RunContext& ctx,
                              std::string_view project_file) {
    for (const Process& p : kDisplayOnly)
        for (Card c : p.cards)
            if (settings.given(c))
                ctx.print(
                    "Warning: card %s only concerns a host's display (%.*s), which this version "
                    "does not provide; it changes no simulated number and is ignored.\n",
                    card_name(c).c_str(), static_cast<int>(p.name.size()), p.name.data());

    std::string listed;
    for (const Process& p : kNotSimulated)
        for (Card c : p.cards)
            if (settings.given(c)) {
                char line[160];
                std::snprintf(line, sizeof line, "  %-22s %.*s\n", card_name(c).c_str(),
                              static_cast<int>(p.name.size()), p.name.data());
                listed += line;
            }
    if (listed.empty()) {
        refuse_routing_without_network(settings, ctx, project_file);
        if (!ctx.error.pending())
            refuse_channel_outputs_without_routing(settings, ctx, project_file);
        return;
    }
    ctx.print(
        "Error: the project file %.*s asks for processes that are not available in this version "
        "of TORVA:\n%s"
        "Nothing has been simulated. Remove these cards from the project file to run without "
        "these processes.\n",
        static_cast<int>(project_file.size()), project_file.data(), listed.c_str());
    ctx.error.raise(err::message_printed);
}

}  // namespace torva
