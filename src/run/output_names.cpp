#include "run/output_names.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "core/context.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"
#include "grid/mapping.hpp"
#include "input/numbers.hpp"
#include "output/maps.hpp"

namespace torva {
namespace {

namespace fs = std::filesystem;

// Cards whose argument is the name of a file the run writes.
constexpr Card kOutputCards[] = {
    Card::SUMMARY,           Card::OUTLET_HYDRO,
    Card::SIG_OUTLET_HYDRO,  Card::ORBAL_HYDRO,
    Card::CELL_HYDRO,        Card::OUT_HYD_LOCATION,
    Card::OUT_DEP_LOCATION,  Card::OUT_CON_LOCATION,
    Card::OUT_MASS_LOCATION, Card::OUT_THETA_LOCATION,
    Card::OUT_WELL_LOCATION, Card::LAKE_OUTPUT,
    Card::CHAN_DEPTH,        Card::CHAN_DISCHARGE,
    Card::CHAN_STAGE,        Card::CHAN_VELOCITY,
    Card::FLOOD_STREAM,      Card::CHAN_SED_FLUX,
    Card::WRITE_OV_HOTSTART, Card::WRITE_CHAN_HOTSTART,
    Card::DIS_PROFILE_OUT,   Card::WAT_SURF_PROFILE_OUT,
    Card::OUTLET_SED_FLUX,   Card::OUTLET_SED_TSS,
    Card::OUT_TSS_LOC,       Card::OUT_SED_LOC,
    Card::QDAT_FILE,         Card::DAILY_OUTPUT,
};

// Cards of the maps of state variables.
constexpr Card kMapCards[] = {
    Card::DEPTH,          Card::DISCHARGE,    Card::DIS_RAIN,   Card::INF_DEPTH,
    Card::RATE_OF_INFIL,  Card::SURF_MOIST,   Card::GW_OUTPUT,  Card::MAX_SED_FLUX,
    Card::NET_SED_VOLUME, Card::VOL_SED_SUSP, Card::OV_CON_MAP, Card::FLOOD_GRID,
};

// Cards whose text argument is a word or a folder, not a file the run reads.
constexpr Card kWordCards[] = {
    Card::OVERTYPE,          Card::RICHARDS_K_OPTION,
    Card::RICHARDS_C_OPTION, Card::RICHARDS_UPPER_OPTION,
    Card::CALIB_COMP_DATA,   Card::CALIB_OBJ_FUNC,
    Card::REPLACE_FOLDER,    Card::OPTIMIZE,
};

template <std::size_t N>
bool among(Card card, const Card (&cards)[N]) {
    for (Card c : cards)
        if (c == card)
            return true;
    return false;
}

// An output: one file, or a series of files base.NNNN.extension in a folder.
struct Output {
    std::string who;   // "card SUMMARY", "the mask map"
    std::string path;  // the file, or the series' folder
    std::string base;  // empty for one file
    std::string extension;
};

struct Input {
    std::string who;  // "the input file of card ELEVATION", "the project file"
    std::string path;
};

// Where a path leads: through the links of the part that exists, and
// lexically normalised beyond it, from the working folder.
fs::path resolved(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? fs::absolute(path, ec).lexically_normal() : p;
}

// Devices and pipes (/dev/null, /dev/stdout) may take any number of outputs.
bool is_device(const std::string& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

bool same_file(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty() || is_device(a) || is_device(b))
        return false;
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec))
        return fs::equivalent(a, b, ec);
    return resolved(a) == resolved(b);
}

// Whether the file is one of the series: in its folder, named base.NNNN.extension.
bool in_series(const Output& series, const std::string& file) {
    const fs::path p(file);
    const std::string name = p.filename().string();
    const std::size_t digits = series.base.size() + 1;
    const bool named = name.size() == digits + 4 + series.extension.size() &&
                       name.compare(0, series.base.size(), series.base) == 0 &&
                       name[series.base.size()] == '.' &&
                       name.compare(digits + 4, std::string::npos, series.extension) == 0;
    if (!named)
        return false;
    for (std::size_t k = digits; k < digits + 4; ++k)
        if (!std::isdigit(static_cast<unsigned char>(name[k])))
            return false;
    const std::string folder = p.parent_path().empty() ? "." : p.parent_path().string();
    return same_file(folder, series.path);
}

// The file of `output` that is `file`, as shown in the message; empty when none.
std::string clash(const Output& output, const std::string& file) {
    if (output.base.empty())
        return same_file(output.path, file) ? output.path : std::string{};
    return in_series(output, file) ? file : std::string{};
}

// A file name, not a number (cards such as CONDUCTIVITY take either).
bool names_a_file(const CardValue& value) {
    const std::string text = strip_quotes(value.text);
    double number = 0.0;
    return !text.empty() && read_real(text, number) != NumberFault::none;
}

std::string card_label(Card card) {
    return "card " + card_name(card);
}

std::vector<Output> outputs_of(const Model& model, const RunContext& ctx) {
    const ProjectSettings& p = model.project;
    std::vector<Output> outputs;
    for (Card card : kOutputCards)
        if (p.given(card) && names_a_file(p[card]))
            outputs.push_back(
                {card_label(card), output_path(ctx, p.text(card), Numbering::numbered), "", ""});
    // MAP_TYPE 0 (and 6) write a series of files into the card's folder; the
    // others one file per kind.
    const int map_type = p.integer(Card::MAP_TYPE);
    const bool series = map_type == 0 || map_type == 6;
    const bool one_file = map_type == 1 || map_type == 2 || map_type == 4 || map_type == 5;
    for (Card card : kMapCards) {
        if (!p.given(card) || !(series || one_file))
            continue;
        if (one_file) {
            outputs.push_back(
                {card_label(card), output_path(ctx, p.text(card), Numbering::numbered), "", ""});
            continue;
        }
        const char* base = map_base_name(card);
        const std::string extension = map_type == 0 ? ".asc" : ".tif";
        const std::string first = output_path(
            ctx, series_file_name(p.text(card), base, 1, extension), Numbering::numbered);
        const std::string folder = fs::path(first).parent_path().string();
        // In numbered runs the series' files carry the run number: 0003_depth.0001.asc.
        const std::string file = fs::path(first).filename().string();
        const std::string numbered_base = file.substr(0, file.size() - 5 - extension.size());
        outputs.push_back({card_label(card) + ", " + numbered_base + ".NNNN" + extension + " maps",
                           folder.empty() ? "." : folder, numbered_base, extension});
    }
    // The analyzers' own files.
    for (const Analyzer& a : model.analyzers.list)
        if ((a.reports & kReportFile) && a.kind == AnalyzerKind::hydraulic_stream)
            outputs.push_back(
                {"card ANALYZERS, line " + std::to_string(a.line) + " of " + model.analyzers.file,
                 output_path(ctx, a.file_name, Numbering::numbered), "", ""});
    // Files every run writes under fixed names.
    outputs.push_back({"the mask map", output_path(ctx, "maskmap", Numbering::numbered), "", ""});
    outputs.push_back({"the run time list", "out_time.dat", "", ""});
    if (p.given(Card::CHANNEL_INPUT))
        for (const char* name : {"short_links.dat", "bad_thalweg.dat"})
            outputs.push_back(
                {"the channel diagnostics", output_path(ctx, name, Numbering::numbered), "", ""});
    return outputs;
}

// The index maps a mapping table file names, read as the run will read them.
void add_index_maps(const RunContext& ctx, Card card, TableFileKind kind, const std::string& path,
                    std::vector<Input>& inputs) {
    // A context of its own, so that reading the file here neither counts
    // replacements nor prints anything.
    RunContext scratch;
    scratch.replacement = ctx.replacement;
    std::FILE* sink = std::tmpfile();
    if (!sink)
        return;
    scratch.out = scratch.err = sink;
    TableFile file;
    if (load_table_file(scratch, path, kind, file))
        for (const TableFile::IndexMap& map : file.index_maps)
            inputs.push_back(
                {"an index map of the mapping table " + file.path + " (" + card_label(card) + ")",
                 strip_quotes(map.path)});
    std::fclose(sink);
}

std::vector<Input> inputs_of(const Model& model, const RunContext& ctx,
                             std::string_view project_file) {
    const ProjectSettings& p = model.project;
    std::vector<Input> inputs;
    inputs.push_back({"the project file", std::string(project_file)});
    // A card with two spellings is met twice: one entry is enough.
    std::vector<bool> seen(kCardCount, false);
    for (const CardWord& word : known_card_words()) {
        const Card card = word.card;
        const bool text = word.args == Args::text || word.args == Args::text_or_number ||
                          word.args == Args::optional_text_or_number;
        if (!text || seen[static_cast<int>(card)] || !p.given(card) || among(card, kOutputCards) ||
            among(card, kMapCards) || among(card, kWordCards) || !names_a_file(p[card]))
            continue;
        seen[static_cast<int>(card)] = true;
        inputs.push_back({"the input file of " + card_label(card), strip_quotes(p.text(card))});
    }
    // Series cards may be given several times; the card table keeps only the last.
    for (const auto& [word, file] : ctx.series.files) {
        const std::string who = "the input file of card " + word;
        const std::string path = strip_quotes(file);
        if (std::none_of(inputs.begin(), inputs.end(),
                         [&](const Input& in) { return in.who == who && in.path == path; }))
            inputs.push_back({who, path});
    }
    if (p.given(Card::MAPPING_TABLE))
        add_index_maps(ctx, Card::MAPPING_TABLE, TableFileKind::grid, p.text(Card::MAPPING_TABLE),
                       inputs);
    if (p.given(Card::ST_MAPPING_TABLE))
        add_index_maps(ctx, Card::ST_MAPPING_TABLE, TableFileKind::stream,
                       p.text(Card::ST_MAPPING_TABLE), inputs);
    return inputs;
}

// The folder an output is written into: the series' own folder, or the
// folder part of the file's name ("" for the working folder).
std::string folder_of(const Output& output) {
    if (!output.base.empty())
        return output.path;
    return fs::path(output.path).parent_path().string();
}

// An output whose folder is missing would fail only once some outputs had
// been opened (and so emptied); each is named now, with the folder relative
// paths start from.
int missing_output_folders(const std::vector<Output>& outputs, RunContext& ctx) {
    int missing = 0;
    for (const Output& out : outputs) {
        const std::string folder = folder_of(out);
        std::error_code ec;
        if (folder.empty() || fs::is_directory(folder, ec))
            continue;
        // A calibration's evaluations write into their run folder, which
        // mirrors the project's output folders: those are made. Evaluations
        // side by side make the same folder, so the test is whether it is
        // there afterwards, not whether this run was the one that made it.
        if (ctx.make_output_folders) {
            fs::create_directories(folder, ec);
            if (fs::is_directory(folder, ec))
                continue;
        }
        ctx.print("Error: the folder %s of output %s (%s) does not exist.\n", folder.c_str(),
                  out.base.empty() ? out.path.c_str() : (folder + "/").c_str(), out.who.c_str());
        ++missing;
    }
    if (missing > 0) {
        std::error_code ec;
        ctx.print(
            "Paths are relative to the folder the program runs in, %s; make the folder or give "
            "the path from there. Nothing has been written.\n",
            fs::current_path(ec).string().c_str());
    }
    return missing;
}

// Whether a text file holds Windows line ends: a carriage return before a
// newline in its first block. A file with a zero byte there is binary
// (GeoTIFF, NetCDF) and not looked at.
bool has_windows_line_ends(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char block[1 << 16];
    const std::size_t n = std::fread(block, 1, sizeof block, file);
    std::fclose(file);
    const std::string_view text(block, n);
    return text.find('\0') == std::string_view::npos && text.find("\r\n") != std::string_view::npos;
}

}  // namespace

void explain_refusal(const Model& model, RunContext& ctx, std::string_view project_file) {
    if (!model.project.read)
        return;
    std::vector<std::string> missing;
    for (const Input& in : inputs_of(model, ctx, project_file)) {
        std::error_code ec;
        if (in.path.empty())
            continue;
        if (!fs::exists(in.path, ec)) {
            missing.push_back(in.path + " (" + in.who + ")");
            continue;
        }
        if (has_windows_line_ends(in.path))
            ctx.print(
                "Note: %s (%s) has Windows line ends; perhaps run 'dos2unix %s' and try again.\n",
                in.path.c_str(), in.who.c_str(), in.path.c_str());
    }
    if (missing.empty())
        return;
    std::error_code ec;
    ctx.print(
        "Note: paths are relative to the folder the program runs in, %s; from there these "
        "files are not found:\n",
        fs::current_path(ec).string().c_str());
    for (const std::string& file : missing) ctx.print("  %s\n", file.c_str());
}

bool outputs_spare_inputs(const Model& model, RunContext& ctx, std::string_view project_file) {
    const std::vector<Output> outputs = outputs_of(model, ctx);
    const std::vector<Input> inputs = inputs_of(model, ctx, project_file);
    int clashes = 0;
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        const Output& out = outputs[k];
        for (const Input& in : inputs) {
            const std::string file = clash(out, in.path);
            if (file.empty())
                continue;
            ctx.print("Error: output file %s (%s) is %s.\n", file.c_str(), out.who.c_str(),
                      in.who.c_str());
            ++clashes;
        }
        for (std::size_t j = 0; j < k; ++j) {
            const Output& other = outputs[j];
            // Two series never share a file: their base names differ.
            const std::string file = other.base.empty() ? clash(out, other.path)
                                     : out.base.empty() ? clash(other, out.path)
                                                        : std::string{};
            if (file.empty())
                continue;
            ctx.print("Error: output file %s (%s) is also the output file of %s.\n", file.c_str(),
                      out.who.c_str(), other.who.c_str());
            ++clashes;
        }
    }
    if (clashes > 0) {
        ctx.print(
            "Give every output a name of its own that no input has; nothing has been written.\n");
        ctx.error.raise(err::message_printed);
        return false;
    }
    if (missing_output_folders(outputs, ctx) > 0) {
        ctx.error.raise(err::message_printed);
        return false;
    }
    return true;
}

}  // namespace torva
