#include "input/project.hpp"

#include <omp.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "input/card_checks.hpp"
#include "input/replace.hpp"
#include "input/series.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A text argument that cannot fit its 128-character field is refused rather
// than cut, so that no run silently reads or writes a different file.
bool read_text_argument(Tokens& args, CardValue& value, std::string_view word, RunContext& ctx) {
    std::string token;
    args.text(token);
    if (token.size() > kMaxCardText) {
        ctx.print("Error: the argument of card %s is longer than %zu characters:\n%s\n",
                  lower(word).c_str(), kMaxCardText, token.c_str());
        ctx.error.raise(err::message_printed);
        return false;
    }
    value.text = token;
    return true;
}

// The number arguments of a card, each through the checked reader: a missing
// one leaves 0, one that is there must be a number the card can hold.
bool read_arguments(const CardWord& card, Tokens& args, ProjectSettings& s, RunContext& ctx) {
    CardValue& value = s[card.card];
    std::string token;
    const auto next_real = [&](double& v) {
        v = 0.0;
        return !args.text(token) || read_card_real(ctx, s, card.card, token, v);
    };
    const auto next_integer = [&](int& v) {
        v = 0;
        return !args.text(token) || read_card_integer(ctx, s, card.card, token, v);
    };
    switch (card.args) {
        case Args::none:
        case Args::no_effect:
            break;
        case Args::integer:
        case Args::integer2:
        case Args::integer3:
        case Args::integer5: {
            const int n = card.args == Args::integer    ? 1
                          : card.args == Args::integer2 ? 2
                          : card.args == Args::integer3 ? 3
                                                        : 5;
            for (int i = 0; i < n; ++i)
                if (!next_integer(value.integer[i]))
                    return false;
            break;
        }
        case Args::real:
            return next_real(value.real[0]) && check_card_range(ctx, s, card.card);
        case Args::real2:
            return next_real(value.real[0]) && next_real(value.real[1]);
        case Args::text:
        case Args::keyword:
            return read_text_argument(args, value, card.word, ctx);
        case Args::text_or_number:
        case Args::optional_text_or_number: {
            if (!read_text_argument(args, value, card.word, ctx))
                return false;
            // A uniform value is a number; anything else names a map file. A
            // number that is not finite is neither.
            double number = 0.0;
            const NumberFault fault = read_real(value.text, number);
            if (fault == NumberFault::not_finite) {
                refuse_card_value(ctx, s, card.card, value.text, number_fault_text(fault));
                return false;
            }
            // integer[0] marks a uniform value; a later card naming a map clears it.
            value.integer[0] = fault == NumberFault::none ? 1 : 0;
            if (fault == NumberFault::none)
                value.real[0] = number;
            break;
        }
        case Args::optional_integer:
            if (!args.text(token)) {
                value.integer[0] = -1;
                break;
            }
            return read_card_integer(ctx, s, card.card, token, value.integer[0]);
    }
    if (card.args == Args::integer)
        return check_card_range(ctx, s, card.card);
    return true;
}

bool is_nutrient_card(std::string_view word) {
    for (std::string_view prefix : {"ov_init_", "st_init_", "out_ov_", "out_st_", "out_hyd_"}) {
        if (word.substr(0, prefix.size()) != prefix)
            continue;
        const std::string_view x = word.substr(prefix.size());
        for (std::string_view c : {"no2", "no3", "nh4", "on", "op", "dp", "alg", "cbod", "do"})
            if (x == c)
                return true;
    }
    return false;
}

const char* nutrient_card_group(std::string_view word) {
    if (word.starts_with("ov_init_"))
        return "OV_INIT_XXX";
    if (word.starts_with("st_init_"))
        return "ST_INIT_XXX";
    if (word.starts_with("out_ov_"))
        return "OUT_OV_XXX";
    if (word.starts_with("out_st_"))
        return "OUT_ST_XXX";
    return "OUT_HYD_XXX";
}

// The actions of the cards that do more than store their arguments.
bool perform_card_action(const CardWord& card, ProjectSettings& s, RunContext& ctx) {
    const CardValue& v = s[card.card];
    switch (card.card) {
        case Card::UNITS:
            ctx.print("Units flag = %d\n", v.integer[0]);
            break;
        case Card::ALPHA:
            ctx.print("Alpha = %lf\n", v.real[0]);
            break;
        case Card::BETA:
            ctx.print("Beta = %lf\n", v.real[0]);
            break;
        case Card::THETA:
            ctx.print("Theta = %lf\n", v.real[0]);
            break;
        case Card::CHANNEL_GRIDSIZE:
            ctx.print("Channel grid size = %lf\n", v.real[0]);
            break;
        case Card::CHANNEL_DELTAT:
            ctx.print("Channel time step = %d\n", v.integer[0]);
            break;
        case Card::DRAIN_TIME:
            ctx.print("Drainage time = %d\n", v.integer[0]);
            break;
        case Card::Q_MIN:
            ctx.print("Minimum channel flow = %lf\n", v.real[0]);
            break;
        case Card::N_LINKS:
            ctx.print("Number of links = %d\n", v.integer[0]);
            break;
        case Card::MAX_NODES:
            ctx.print("Number of nodes = %d\n", v.integer[0]);
            break;

        case Card::RETEN_DEPTH:
            if (v.integer[0] == 1) {
                ctx.print(
                    "Warning: Incorrect use of RETEN_DEPTH card\n  Usage: RETEN_DEPTH "
                    "<filename>-or-\nRETENTION <value>  -or-\nRETEN_DEPTH \n  Using %lf for the "
                    "uniform retention depth\n\n",
                    v.real[0]);
                s[Card::RETENTION].given = true;
                s[Card::RETENTION].real[0] = v.real[0];
                s[Card::RETEN_DEPTH].text.clear();
            }
            break;

        case Card::GREEN_AMPT:
            s.infiltration = InfiltrationMethod::green_ampt;
            break;
        case Card::INF_REDIST:
            s.infiltration = InfiltrationMethod::redistribution;
            break;
        case Card::INF_LAYERED_SOIL:
            s.infiltration = InfiltrationMethod::layered_soil;
            break;
        case Card::INF_RICHARDS:
            s.infiltration = InfiltrationMethod::richards;
            break;

        case Card::CHAN_PREISS:
            s.channel_routing = ChannelRouting::preissmann;
            break;
        case Card::CHAN_DRAIN:
            s.channel_routing = ChannelRouting::drain;
            break;
        case Card::CHAN_EXPLIC:
            s.channel_routing = ChannelRouting::explicit_routing;
            s.channels_simulated = true;
            break;
        case Card::CHAN_MESH:
            s.channel_routing = ChannelRouting::mesh;
            break;
        case Card::CHAN_BACKWATER:
            s.channel_routing = ChannelRouting::backwater;
            break;

        case Card::PRECIP_UNIF:
            s.precipitation = PrecipitationKind::uniform;
            break;
        case Card::PRECIP_FILE:
            s.precipitation = PrecipitationKind::gauges;
            break;

        case Card::RICHARDS_K_OPTION: {
            const std::string k = lower(v.text.substr(0, 4));
            // A word of neither kind is refused with the other cards of the
            // Richards columns (-1), rather than quietly taken for the default.
            s.richards_k_option = k == "geom" ? 2 : k == "arit" ? 1 : -1;
            break;
        }
        case Card::RICHARDS_C_OPTION: {
            const std::string k = lower(v.text.substr(0, 4));
            s.richards_c_option = k == "have" ? 2 : k == "broo" ? 1 : -1;
            break;
        }
        case Card::RICHARDS_UPPER_OPTION: {
            // Any other word keeps the conductivity of the first node (1).
            const std::string k = lower(v.text.substr(0, 4));
            s.richards_upper_option = k == "aver" ? 3 : k == "gree" ? 2 : 1;
            break;
        }

        case Card::TANVIK_EVENT_NUM:
            s.tanvik_event_num = v.integer[0];
            break;

        case Card::NUM_THREADS:
            if (v.integer[0] >= 1) {
                if (ctx.cell_threads == 0)
                    omp_set_num_threads(v.integer[0]);
                ctx.print("Setting the thread level to %d.\n", v.integer[0]);
            } else {
                ctx.print(
                    "Error: unable to set the thread level to %d.\n"
                    "NUM_THREADS takes 1 or more threads; the run goes on with the threads it "
                    "has.\n",
                    v.integer[0]);
            }
            break;

        case Card::REPLACE_PARAMS:
            if (read_replacement_parameters(ctx, strip_quotes(v.text)) == 0 && ctx.host &&
                ctx.host->values_given)
                apply_host_values(ctx);
            break;
        case Card::REPLACE_VALS:
            // A host's values stand in for the value file.
            if (!(ctx.host && ctx.host->values_given))
                read_replacement_values(ctx, strip_quotes(v.text));
            break;
        case Card::REPLACE_LINE:
            ctx.replace_line = std::max(v.integer[0], INT_MIN + 1) - 1;
            break;
        case Card::REPLACE_FOLDER:
            // Host projects end the folder with a backslash, which is no separator
            // on this system: the folder always ends with a slash here.
            ctx.output_folder = strip_quotes(v.text);
            while (!ctx.output_folder.empty() &&
                   (ctx.output_folder.back() == '\\' || ctx.output_folder.back() == '/'))
                ctx.output_folder.pop_back();
            ctx.output_folder += '/';
            break;

        case Card::TIME_SERIES_FILE:
            read_time_series_card(ctx, v.text);
            break;
        case Card::ELEV_SERIES_FILE:
            read_elevation_series_card(ctx, v.text);
            break;

        case Card::CALIB_COMP_DATA: {
            const std::string k = v.text.substr(0, 5);
            s.calib_comp_data = k == "DAILY" ? 0 : k == "EVENT" ? 1 : 2;
            if (s.calib_comp_data == 2) {
                ctx.error.raise(103);
                return false;
            }
            break;
        }
        case Card::RADAR_UNITS: {
            std::string word = v.text;
            for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (word == "MM_PER_HOUR") {
                s.radar_units = RadarUnits::millimetres_per_hour;
            } else if (word == "IN_PER_HOUR") {
                s.radar_units = RadarUnits::inches_per_hour;
            } else {
                refuse_card_value(ctx, s, Card::RADAR_UNITS, v.text,
                                  "is not a radar unit; give MM_PER_HOUR or IN_PER_HOUR");
                return false;
            }
            break;
        }
        case Card::CALIB_OBJ_FUNC: {
            const std::string k = v.text.substr(0, 4);
            s.calib_obj_func = k == "RMSE" ? 0 : k == "HMLE" ? 1 : 2;
            if (s.calib_obj_func == 2) {
                ctx.error.raise(104);
                return false;
            }
            break;
        }
        case Card::NUTRIENTS:
            s.nutrients = 1;
            break;
        default:
            break;
    }
    return true;
}

}  // namespace

void set_project_defaults(ProjectSettings& s) {
    s = ProjectSettings{};
    s[Card::EVENT_MIN_Q].real[0] = 0.1;
    s[Card::SOIL_MOIST_DEPTH].real[0] = 0.4;
    s[Card::RICHARDS_WEIGHT].real[0] = 1.0;
    s[Card::RICHARDS_DTHETA_MAX].real[0] = 0.0025;
    s[Card::RICHARDS_ITER_MAX].integer[0] = 1;
    s[Card::AQUIFER_DELTA_Z].real[0] = -999.9;
    s[Card::MAX_COURANT_NUMBER].real[0] = 0.2;
    s[Card::GW_TIMESTEP].real[0] = 1.0;
    s[Card::GW_LSOR_CON].real[0] = 1e-5;
    s[Card::SINGLE_UNSAT_SAT].real[0] = 0.75;
    s[Card::KINETICS_TIMESTEP_FACTOR].real[0] = 1.0;
    s[Card::SOIL_EROSION].integer[0] = 1;
    s[Card::CHAN_PH].real[0] = 7.2;
    s[Card::TANVIK_EVENT_NUM].integer[0] = -1;
    s[Card::X_FREQ].integer[0] = -1;
    s[Card::XWIN_WIDTH].integer[0] = 1000;
    s[Card::XWIN_HEIGHT].integer[0] = 660;
}

bool perform_card_line(ProjectSettings& s, RunContext& ctx, std::string_view line) {
    // The card word runs to the next blank, tab or newline; commas belong to it.
    std::size_t start = 0;
    while (start < line.size() &&
           (line[start] == ' ' || line[start] == '\t' || line[start] == '\n'))
        ++start;
    if (start == line.size())
        return true;
    std::size_t end = start;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\n') ++end;
    const std::string word = lower(line.substr(start, end - start));
    if (word.front() == '#' || word == "orbal" || word == "metric" || word == "simulation_input")
        return true;

    const CardWord* card = find_card(word);
    if (!card) {
        ctx.print("Warning: unknown card found in the project file: %s\n", word.c_str());
        const std::string closest = closest_card_word(word);
        const std::string where =
            s.line > 0 ? "line " + std::to_string(s.line) + " of " + s.file_name + ", ignored"
                       : "ignored";
        if (closest.empty())
            ctx.print("  (%s)\n", where.c_str());
        else
            ctx.print("  (%s; did you mean %s?)\n", where.c_str(), closest.c_str());
        std::string ignored(line.substr(start, end - start));
        if (s.line > 0)
            ignored = "line " + std::to_string(s.line) + " of " + s.file_name + ": " + ignored;
        if (!closest.empty())
            ignored += " (did you mean " + closest + "?)";
        ctx.ignored_cards.push_back(std::move(ignored));
        return true;
    }
    if (is_nutrient_card(word) && !s.nutrients) {
        ctx.error.raise(79, {.text1 = nutrient_card_group(word)});
        return false;
    }
    Tokens args(line.substr(end));
    CardValue& value = s[card->card];
    value.given = true;
    value.line = s.line;
    if (!read_arguments(*card, args, s, ctx))
        return false;
    return perform_card_action(*card, s, ctx);
}

void read_project_file(Model& model, RunContext& ctx, std::string_view file_name) {
    ProjectSettings& s = model.project;
    s.read = false;
    const std::string name = strip_quotes(file_name);
    std::FILE* file = name.empty() ? nullptr : std::fopen(name.c_str(), "r");
    if (!file) {
        ctx.print_error("Error opening project file named: %s\n", name.c_str());
        return;
    }
    LineReader reader(file, ctx);
    std::string line;
    reader.next(line);
    if (line != "TORVAPROJECT" && line != "KELDORPROJECT") {
        ctx.print_error("File Does not Appear to be a Valid TORVA/KELDOR Project file\n");
        ctx.print_error("  (File: %s; its first line must be TORVAPROJECT)\n", name.c_str());
        ctx.print_error(
            "Perhaps you Should Issue a 'dos2unix' Command if you are on a Unix machine?\n");
        ctx.print_error("TORVA Terminating....\n");
        std::fclose(file);
        ctx.error.raise(err::message_printed);
        return;
    }
    set_project_defaults(s);
    s.read = true;
    s.file_name = name;
    while (reader.next(line)) {
        s.line = reader.line_number();
        if (!perform_card_line(s, ctx, line))
            break;
    }
    s.line = 0;
    std::fclose(file);
}

}  // namespace torva
