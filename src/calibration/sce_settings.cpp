#include "calibration/sce_settings.hpp"

#include <cctype>
#include <cmath>
#include <cstdarg>

#include "core/context.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

// One line of the file as a name, by the string-token rule.
bool read_name(LineReader& reader, std::string& name) {
    std::string line;
    if (!reader.next(line))
        return false;
    Tokens tokens(line);
    return tokens.text(name);
}

bool finite_real(Tokens& tokens, double& value) {
    return tokens.real(value) && std::isfinite(value);
}

// A warning line: to the console, and to the output file when it is open.
void warn(std::FILE* console, std::FILE* output, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void warn(std::FILE* console, std::FILE* output, const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (output) {
        va_list copy;
        va_copy(copy, args);
        std::vfprintf(output, format, copy);
        va_end(copy);
    }
    std::vfprintf(console, format, args);
    va_end(args);
}

// The lines after the parameters: each a word and its value, in any order.
//   OBJECTIVE HMLE|NSE|LOGNSE|KGE|PBIAS   what the search minimises
//   RUN_FOLDER folder                      where each evaluation's files go
//   KEEP_RUNS ALL|BEST                     keep every evaluation's files or the best's only
bool read_search_options(RunContext& ctx, LineReader& reader, const std::string& file_name,
                         SceSettings& s) {
    std::string line;
    while (reader.next(line)) {
        Tokens tokens(line);
        std::string word, value;
        if (!tokens.text(word))
            continue;
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        tokens.text(value);
        bool known = false;
        if (word == "OBJECTIVE") {
            known = objective_named(value, s.objective);
        } else if (word == "RUN_FOLDER") {
            // "." is the working folder, where the runs' consoles stay on the console.
            known = !value.empty();
            s.run_folder = value == "." || value == "./" ? "" : value;
        } else if (word == "KEEP_RUNS") {
            for (char& c : value)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            known = value == "ALL" || value == "BEST";
            s.keep_best_only = value == "BEST";
        }
        if (!known) {
            ctx.print(
                "Error: line %d of the SCE input file %s: \"%s\" is not one of OBJECTIVE "
                "HMLE|NSE|LOGNSE|KGE|PBIAS, RUN_FOLDER folder, KEEP_RUNS ALL|BEST.\n",
                reader.line_number(), file_name.c_str(), line.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

bool read_sce_input(RunContext& ctx, const std::string& file_name, SceSettings& s) {
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.print("Can't open SCE input file %s\n", file_name.c_str());
        return false;
    }
    LineReader reader(file, ctx);
    std::string line;
    bool ok = read_name(reader, s.project_file) && read_name(reader, s.parameter_file) &&
              read_name(reader, s.observation_file);
    if (!ok) {
        ctx.print(
            "Error: the SCE input file %s does not name the project, parameter and "
            "observation files on its first three lines.\n",
            file_name.c_str());
        std::fclose(file);
        return false;
    }

    if (!reader.next(line))
        line.clear();
    Tokens settings(line);
    ok = settings.integer(s.maxn) && settings.integer(s.kstop) && finite_real(settings, s.pcento) &&
         settings.integer(s.ngs) && settings.integer(s.iseed) && settings.integer(s.ideflt) &&
         settings.integer(s.nopt);
    if (!ok) {
        ctx.print("Error in your input file. The first line must have 7 parameters.\n");
        std::fclose(file);
        return false;
    }
    // The complex settings are always read, and used only when ideflt is 1.
    if (!reader.next(line))
        line.clear();
    Tokens complex(line);
    s.npg = complex.integer();
    s.nps = complex.integer();
    s.nspl = complex.integer();
    s.mings = complex.integer();
    s.iniflg = complex.integer();
    s.iprint = complex.integer();

    // Each parameter takes a few kilobytes in a population of 1320 points;
    // more parameters than a line of 20000 characters can name is a mistake.
    constexpr int kMostParameters = 2000;
    if (s.nopt < 1 || s.nopt > kMostParameters) {
        ctx.print("Error: the SCE input file asks for %d parameters; it must be 1 to %d.\n", s.nopt,
                  kMostParameters);
        std::fclose(file);
        return false;
    }
    s.a.assign(s.nopt + 1, 0.0);
    s.bl.assign(s.nopt + 1, 0.0);
    s.bu.assign(s.nopt + 1, 0.0);
    for (int j = 1; j <= s.nopt; ++j) {
        const bool have_line = reader.next(line);
        if (!have_line)
            line.clear();
        Tokens bounds(line);
        if (!have_line || !finite_real(bounds, s.a[j]) || !finite_real(bounds, s.bl[j]) ||
            !finite_real(bounds, s.bu[j])) {
            ctx.print(
                "Error: the SCE input file needs the initial value, lower bound and upper "
                "bound of parameter %d on line %d.\n",
                j, j + 5);
            std::fclose(file);
            return false;
        }
        // An empty or inverted box leaves the search nothing to draw from
        // and would keep it redrawing points for ever.
        if (!(s.bu[j] > s.bl[j])) {
            ctx.print(
                "Error: the upper bound %lf of parameter %d must lie above its lower bound "
                "%lf.\n",
                s.bu[j], j, s.bl[j]);
            std::fclose(file);
            return false;
        }
    }
    ok = read_search_options(ctx, reader, file_name, s);
    std::fclose(file);
    if (!ok)
        return false;
    if (s.iseed == 0)
        s.iseed = 3737;
    else if (s.iseed < 0)
        s.iseed = -s.iseed;
    return true;
}

bool check_sce_settings(SceSettings& s, std::FILE* console, std::FILE* output) {
    if (s.ideflt == 0) {
        s.npg = 2 * s.nopt + 1;
        s.nps = s.nopt + 1;
        s.nspl = s.npg;
        s.mings = s.ngs;
        s.iniflg = 0;
        s.iprint = 0;
    }
    bool runnable = true;
    int warnings = 0;
    if (s.ngs < 1 || s.ngs >= kPopulationLimit) {
        warn(console, output,
             " **ERROR** NUMBER OF COMPLEXES IN INITIAL POPULATION %d IS NOT A VALID CHOICE\n",
             s.ngs);
        runnable = false;
    }
    if (s.kstop < 0 || s.kstop >= 20) {
        warn(console, output,
             " **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE\n"
             " MUST CHANGE SHOULD BE GREATER THAN 0 AND LESS THAN 10. kstop = %d WAS\n"
             " WAS SPECIFIED.  BUT kstop = 5 WILL BE USED INSTEAD.\n",
             s.kstop);
        ++warnings;
        s.kstop = 5;
    }
    if (s.mings < 1 || s.mings > s.ngs) {
        warn(console, output,
             " **WARNING** THE MINIMUM NUMBER OF COMPLEXES %d IS NOT A VALID CHOICE.\n"
             " SET IT TO DEFAULT\n",
             s.mings);
        ++warnings;
        s.mings = s.ngs;
    }
    if (s.npg < 2 || s.npg > kPopulationLimit / (s.ngs > 1 ? s.ngs : 1)) {
        warn(console, output,
             " **WARNING** THE NUMBER OF POINTS IN A COMPLEX %d IS NOT\n"
             " A VALID CHOICE, SET IT TO DEFAULT\n",
             s.npg);
        ++warnings;
        s.npg = 2 * s.nopt + 1;
    }
    if (s.nps < 2 || s.nps > s.npg || s.nps >= 51) {
        warn(console, output,
             " **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX %d IS NOT\n"
             " A VALID CHOICE, SET IT TO DEFAULT\n",
             s.nps);
        ++warnings;
        s.nps = s.nopt + 1;
    }
    if (s.nspl < 1) {
        std::fprintf(console,
                     " **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX\n"
                     " BEFORE SHUFFLING %d IS NOT A VALID CHOICE, SET IT TO DEFAULT\n",
                     s.nspl);
        ++warnings;
        s.nspl = s.npg;
    }
    if (static_cast<long>(s.npg) * s.ngs > kPopulationLimit) {
        warn(console, output,
             " **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION %d EXCEED\n"
             " THE POPULATION LIMIT.  SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS\n",
             s.npg * s.ngs);
        ++warnings;
        s.ngs = 2;
        s.npg = s.nspl = 2 * s.nopt + 1;
        s.nps = s.nopt + 1;
    }
    if (warnings > 0)
        warn(console, output, " *** TOTAL NUMBER OF WARNING MESSAGES IS %d\n", warnings);

    // The defaults that mend one setting may not fit another one: a
    // sub-complex larger than its complex could never be drawn, and a
    // population beyond the limit could not be held.
    if (runnable && (s.nps > s.npg || static_cast<long>(s.npg) * s.ngs > kPopulationLimit)) {
        warn(console, output,
             "Error: a complex of %d points cannot hold sub-complexes of %d points in a "
             "population of at most %d points.\n",
             s.npg, s.nps, kPopulationLimit);
        runnable = false;
    }
    if (s.mings > s.ngs)
        s.mings = s.ngs;
    return runnable;
}

}  // namespace torva
