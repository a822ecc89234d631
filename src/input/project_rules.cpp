// The run settings derived from the cards and the rules that refuse card
// combinations that cannot work together.

#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/card_checks.hpp"
#include "input/project.hpp"

namespace torva {

void derive_run_settings(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    RunSettings& run = model.run;
    if (!p.read) {
        ctx.error.raise(err::project_not_found);
        return;
    }
    run.super_quiet = p.given(Card::SUPER_QUIET);
    run.quiet = p.given(Card::QUIET);
    if (!run.super_quiet)
        ctx.print("\nfinished reading project file\n");

    run.outlet_row = p.integer(Card::OUTROW);
    run.outlet_col = p.integer(Card::OUTCOL);
    run.total_time = p.integer(Card::TOT_TIME);
    run.long_term = p.given(Card::LONG_TERM);
    run.host_event_mode = p.given(Card::TANVIK_EVENT_NUM);
    run.english_units = p.given(Card::QOUT_CFS);
    run.strict_julian = p.given(Card::STRICT_JULIAN_DATE);
    run.stream_info = p.given(Card::STREAM_INFO);
    run.flush_interval = p.given(Card::FLUSH_BUFFER) ? p.integer(Card::FLUSH_BUFFER) : 0;
    run.event_min_q = p.given(Card::EVENT_MIN_Q) ? p.real(Card::EVENT_MIN_Q) : 0.1;
    if (run.event_min_q < 1e-5)
        run.event_min_q = 0.05;
    if (p.given(Card::END_TIME)) {
        const CardValue& e = p[Card::END_TIME];
        run.has_end_time = true;
        run.end_time = calendar_to_julian(e.integer[0], e.integer[1], e.integer[2], e.integer[3],
                                          e.integer[4]);
    }
    if (p.integer(Card::MAP_TYPE) == 4)
        return ctx.error.raise(err::qdat_not_supported);
    // Without a length the run would end at once, or never.
    if (!p.given(Card::TOT_TIME)) {
        ctx.print_and_log(
            "Error: the project file %s has no TOT_TIME card; give the length of the run in "
            "minutes, for example TOT_TIME 120.\n",
            p.file_name.c_str());
        return ctx.error.raise(err::message_printed);
    }
    if (run.total_time <= 0)
        refuse_card_value(ctx, p, Card::TOT_TIME, std::to_string(run.total_time),
                          "minutes is no run at all; the length of the run (minutes) must be "
                          "greater than 0");
}

void validate_cards(Model& model, RunContext& ctx) {
    const ProjectSettings& p = model.project;
    const bool long_term = p.given(Card::LONG_TERM);
    const bool penman = p.given(Card::ET_CALC_PENMAN);
    const bool deardorff = p.given(Card::ET_CALC_DEARDORFF);
    const bool richards = p.infiltration == InfiltrationMethod::richards;
    const bool groundwater = p.given(Card::GW_SIMULATION);

    if (p.given(Card::ROUGHNESS) && p.given(Card::MANNING_N))
        return ctx.error.raise(6);
    if (long_term && penman && deardorff)
        return ctx.error.raise(7);
    const int hydromet_kinds =
        p.given(Card::HMET_SURFAWAYS) + p.given(Card::HMET_SAMSON) + p.given(Card::HMET_HMX);
    if (hydromet_kinds >= 2)
        return ctx.error.raise(8);
    if (long_term && !penman && !deardorff)
        return ctx.error.raise(9);
    if (p.precipitation == PrecipitationKind::uniform &&
        (p.real(Card::RAIN_INTENSITY) == 0.0 || p.integer(Card::RAIN_DURATION) == 0))
        return ctx.error.raise(11);
    if (long_term && p.infiltration != InfiltrationMethod::redistribution && !richards)
        return ctx.error.raise(20);
    // The energy balance needs the surface's parameters whatever the soil;
    // Richards columns take their wilting point from the soil table.
    if (long_term) {
        if (!p.given(Card::ALBEDO))
            return ctx.error.raise(21);
        if (penman) {
            if (!p.given(Card::VHEIGHT))
                return ctx.error.raise(22);
            if (!p.given(Card::TCOEFF))
                return ctx.error.raise(23);
            if (!p.given(Card::CANOPY))
                return ctx.error.raise(24);
            if (!richards && !p.given(Card::WILTING_POINT))
                return ctx.error.raise(25);
        }
    }
    // A top layer divides the root-zone store that redistribution keeps in a
    // long-term run; without that store it would change nothing.
    if (p.given(Card::TOP_LAYER_DEPTH)) {
        const double top = p.real(Card::TOP_LAYER_DEPTH);
        const double depth = p.real(Card::SOIL_MOIST_DEPTH);
        char shown[32];
        std::snprintf(shown, sizeof shown, "%g", top);
        if (!long_term || p.infiltration != InfiltrationMethod::redistribution)
            return refuse_card_value(
                ctx, p, Card::TOP_LAYER_DEPTH, shown,
                "m divides the root-zone store of a long-term run with INF_REDIST, which this run "
                "does not keep; remove the card, or run LONG_TERM with INF_REDIST");
        if (!(top > 0.0 && top < depth)) {
            char problem[160];
            std::snprintf(problem, sizeof problem,
                          "m is no top layer: it must be more than 0 and less than the soil "
                          "moisture depth (SOIL_MOIST_DEPTH %g m)",
                          depth);
            return refuse_card_value(ctx, p, Card::TOP_LAYER_DEPTH, shown, problem);
        }
    }
    if (richards && groundwater && p.real(Card::AQUIFER_DELTA_Z) < 0.0)
        return ctx.error.raise(32);
    if (richards && (p.richards_k_option < 0 || p.richards_c_option < 0)) {
        ctx.print_and_log(
            p.richards_c_option < 0
                ? "Error: RICHARDS_C_OPTION must be brooks (Brooks-Corey) or havercamp: %s\n"
                : "Error: RICHARDS_K_OPTION must be geometric or arithmetic: %s\n",
            p.text(p.richards_c_option < 0 ? Card::RICHARDS_C_OPTION : Card::RICHARDS_K_OPTION)
                .c_str());
        return ctx.error.raise(err::message_printed);
    }
    if (p.channel_routing == ChannelRouting::drain ||
        p.channel_routing == ChannelRouting::backwater)
        return ctx.error.raise(35);
    if (groundwater) {
        // Porosity and conductivity may also come from the mapping tables, which
        // are read later: the groundwater start-up warns when neither a card
        // nor a table gives them and the soil's values stand in.
        if (p.given(Card::GW_UNIF_POROSITY) && p.given(Card::GW_POROSITY_MAP))
            return ctx.error.raise(38);
        if (p.given(Card::GW_UNIF_HYCOND) && p.given(Card::GW_HYCOND_MAP))
            return ctx.error.raise(40);
        if (p.given(Card::SACRAMENTO))
            return ctx.error.raise(42);
    }
    if (p.given(Card::SACRAMENTO)) {
        // The accounting runs on the hourly weather of long-term runs and
        // gives its water to the channels.
        if (!long_term) {
            ctx.print_and_log(
                "Error: Sacramento soil moisture accounting (SACRAMENTO) runs in long-term runs "
                "only; add LONG_TERM with its weather.\n");
            return ctx.error.raise(err::message_printed);
        }
        if (p.channel_routing != ChannelRouting::explicit_routing) {
            ctx.print_and_log(
                "Error: Sacramento soil moisture accounting (SACRAMENTO) needs the channel "
                "network (CHANNEL_INPUT, STREAM_CELL, CHAN_EXPLIC) that takes its channel "
                "inflow.\n");
            return ctx.error.raise(err::message_printed);
        }
    }
    if (p.given(Card::TANVIK)) {
        ctx.print("Running TORVA in TANVIK environment\n");
        if (p.given(Card::MORREL))
            ctx.print("TORVA will share data with MORREL through file: %s\n",
                      p.text(Card::MORREL).c_str());
        if (model.run.host_event_mode)
            ctx.print("This is an event call of TORVA by TANVIK, tanvik_event_num=%d\n",
                      p.tanvik_event_num);
        if (!p.given(Card::MORREL))
            return ctx.error.raise(43);
        if (model.run.host_event_mode && p.tanvik_event_num < 0)
            return ctx.error.raise(44);
        if (groundwater)
            return ctx.error.raise(45);
    }
    if (p.given(Card::MORREL) && !p.given(Card::TANVIK))
        return ctx.error.raise(46);
}

}  // namespace torva
