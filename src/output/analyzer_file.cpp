// The analyzer file: one analyzer a line, read before any output is opened.
//
//     # kind  array  triggers  operator  threshold  reports  [interval]  [file]
//     2DS     flow   t         >         10.0       tsf      600         floods.txt
//
// The interval (seconds) follows only with trigger t, the file name only with
// report letter f.

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/file_names.hpp"
#include "core/model_state.hpp"
#include "input/tokens.hpp"
#include "output/analyzers.hpp"

namespace torva {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// Kinds a file may name that set up nothing in this version.
constexpr const char* kKindsWithoutAnalyzer[] = {"2DG", "VOV_OV", "VOV_ST", "VOV_SL"};

struct LineReport {
    RunContext& ctx;
    const std::string& file;
    int line;
    int& faults;

    void error(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        ctx.print("Error: analyzer file %s, line %d: %s.\n", file.c_str(), line, text);
        ++faults;
    }
    void warning(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
        ctx.print("Warning: analyzer file %s, line %d: %s.\n", file.c_str(), line, text);
    }
    // The next token, or an error saying what should have followed.
    bool next(Tokens& tokens, std::string& token, const char* what) {
        if (tokens.text(token))
            return true;
        error("the line ends where the %s should follow", what);
        return false;
    }
};

// A token as the message shows it; a quoted empty one as "".
const char* shown(const std::string& word) {
    return word.empty() ? "\"\"" : word.c_str();
}

bool starts_without_case(std::string_view text, std::string_view keyword) {
    if (text.size() < keyword.size())
        return false;
    for (std::size_t k = 0; k < keyword.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(text[k])) != keyword[k])
            return false;
    return true;
}

// The 2DS arrays are matched on the length of their keyword, without regard
// to case.
bool find_stream_array(std::string_view name, StreamArray& array) {
    static constexpr struct {
        const char* keyword;
        StreamArray array;
    } kArrays[] = {
        {"depth", StreamArray::depth}, {"area", StreamArray::area}, {"flow", StreamArray::flow}};
    for (const auto& entry : kArrays)
        if (starts_without_case(name, entry.keyword)) {
            array = entry.array;
            return true;
        }
    return false;
}

// Any combination of the letters; false (with the letter) for one that is none.
bool read_letters(const std::string& word, std::string_view letters, const int* bits, int& set,
                  char& stranger) {
    set = 0;
    for (char c : word) {
        const std::size_t at = letters.find(c);
        if (at == std::string_view::npos) {
            stranger = c;
            return false;
        }
        set |= bits[at];
    }
    return true;
}

bool read_triggers(LineReport& report, const std::string& word, int& triggers) {
    static constexpr int kBits[] = {kStepFinished, kEventBegan,  kEventEnded,
                                    kInitFinished, kRunFinished, kRunFailed};
    char stranger = 0;
    if (read_letters(word, "tEeSsc", kBits, triggers, stranger))
        return true;
    report.error("%c is no trigger letter: t, E, e, S, s or c", stranger);
    return false;
}

// Report letters t and v exclude each other: the later one holds.
bool read_reports(LineReport& report, const std::string& word, int& reports) {
    static constexpr int kBits[] = {kReportPassingOnly, kReportLinePerLink, kReportConsole,
                                    kReportFile,        kReportLogicTest,   kReportValues};
    reports = 0;
    for (char c : word) {
        const std::size_t at = std::string_view("tvsfcd").find(c);
        if (at == std::string_view::npos) {
            report.error("%c is no report letter: t, v, s, f, c or d", c);
            return false;
        }
        if (kBits[at] == kReportPassingOnly)
            reports &= ~kReportLinePerLink;
        if (kBits[at] == kReportLinePerLink)
            reports &= ~kReportPassingOnly;
        reports |= kBits[at];
    }
    return true;
}

// The two-character operators are tried before the one-character ones.
AnalyzerOperator read_operator(std::string_view word) {
    static constexpr struct {
        const char* text;
        AnalyzerOperator op;
    } kOperators[] = {
        {"==", AnalyzerOperator::equal},         {"<=", AnalyzerOperator::less_equal},
        {">=", AnalyzerOperator::greater_equal}, {"<", AnalyzerOperator::less},
        {">", AnalyzerOperator::greater},        {"+", AnalyzerOperator::add},
        {"-", AnalyzerOperator::subtract},       {"*", AnalyzerOperator::multiply},
        {"\\", AnalyzerOperator::divide},
    };
    for (const auto& entry : kOperators)
        if (word.starts_with(entry.text))
            return entry.op;
    return AnalyzerOperator::none;
}

bool is_logic_test(AnalyzerOperator op) {
    return static_cast<int>(op) <= static_cast<int>(AnalyzerOperator::greater_equal);
}

// One line that is neither empty nor a comment; false when it makes no
// analyzer (an error has been counted when it is faulty).
bool read_analyzer_line(LineReport& report, Tokens& tokens, const std::string& kind,
                        bool has_network, Analyzer& a) {
    if (kind == "1DS") {
        a.kind = AnalyzerKind::constituent_stream;
    } else if (kind == "2DS") {
        a.kind = AnalyzerKind::hydraulic_stream;
    } else {
        for (const char* other : kKindsWithoutAnalyzer)
            if (kind == other) {
                report.warning(
                    "%s analyzers are not part of this version; the line sets up "
                    "nothing",
                    kind.c_str());
                return false;
            }
        report.warning("%s is no analyzer kind (1DS or 2DS); the line sets up nothing",
                       kind.c_str());
        return false;
    }

    std::string word;
    if (!report.next(tokens, a.array_name, "array name"))
        return false;
    if (a.kind == AnalyzerKind::hydraulic_stream) {
        if (!find_stream_array(a.array_name, a.array)) {
            report.error("unable to find 2DS array [%s]; the 2DS arrays are depth, area and flow",
                         a.array_name.c_str());
            return false;
        }
        if (!has_network) {
            report.error(
                "a 2DS analyzer watches the channel network, and the project names "
                "none (CHANNEL_INPUT)");
            return false;
        }
    }
    if (!report.next(tokens, word, "trigger letters") || !read_triggers(report, word, a.triggers))
        return false;
    if (!report.next(tokens, word, "operator"))
        return false;
    a.op = read_operator(word);
    const std::string op_word = word;
    if (!report.next(tokens, word, "threshold"))
        return false;
    if (const NumberFault fault = read_real(word, a.threshold); fault != NumberFault::none) {
        report.error("the threshold %s %s", shown(word), number_fault_text(fault));
        return false;
    }
    if (!report.next(tokens, word, "report letters") || !read_reports(report, word, a.reports))
        return false;
    if (a.triggers & kStepFinished) {
        if (!report.next(tokens, word, "interval in seconds (trigger t)"))
            return false;
        int seconds = 0;
        if (const NumberFault fault = read_integer(word, seconds); fault != NumberFault::none) {
            report.error("the interval %s %s", shown(word), number_fault_text(fault));
            return false;
        }
        if (seconds < 0) {
            report.error("the interval %s is negative; it counts the seconds between reports",
                         word.c_str());
            return false;
        }
        a.interval = seconds / kSecondsPerDay;
    }
    if (a.reports & kReportFile) {
        if (!report.next(tokens, word, "output file name (report letter f)"))
            return false;
        a.file_name = strip_quotes(word);
        if (a.file_name.empty()) {
            report.error("the output file name (report letter f) is empty");
            return false;
        }
    }
    if (!is_logic_test(a.op))
        report.warning(
            "%s is no logic test (<, >, ==, <= or >=); the analyzer tests and reports "
            "nothing",
            op_word.c_str());
    return true;
}

}  // namespace

void read_analyzer_file(Model& model, RunContext& ctx) {
    Analyzers& analyzers = model.analyzers;
    analyzers.file = strip_quotes(model.project.text(Card::ANALYZERS));
    analyzers.list.clear();
    std::FILE* file = analyzers.file.empty() ? nullptr : std::fopen(analyzers.file.c_str(), "r");
    if (!file) {
        // The user asked for analyzers: a run without them would report less
        // than was asked.
        ctx.print("Error: unable to open the analyzer file %s (card ANALYZERS): %s.\n",
                  analyzers.file.c_str(),
                  analyzers.file.empty() ? "no name given" : std::strerror(errno));
        ctx.error.raise(err::message_printed);
        return;
    }
    const bool has_network = model.project.given(Card::CHANNEL_INPUT);
    int faults = 0;
    LineReader reader(file, ctx);
    std::string line;
    while (reader.next(line)) {
        // As in the project file, a line whose first word begins with # is a
        // comment, indented or not.
        Tokens tokens(line);
        std::string kind;
        if (!tokens.text(kind) || kind.front() == '#')
            continue;
        LineReport report{ctx, analyzers.file, reader.line_number(), faults};
        Analyzer a;
        a.line = reader.line_number();
        if (read_analyzer_line(report, tokens, kind, has_network, a))
            analyzers.list.push_back(std::move(a));
    }
    // A folder opens, but does not read.
    if (std::ferror(file)) {
        ctx.print("Error: unable to read the analyzer file %s (card ANALYZERS): %s.\n",
                  analyzers.file.c_str(), std::strerror(errno));
        ++faults;
    }
    std::fclose(file);
    analyzers.read = true;
    if (faults > 0) {
        analyzers.list.clear();
        ctx.error.raise(err::message_printed);
    }
}

}  // namespace torva
