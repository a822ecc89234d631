#include "output/analyzers.hpp"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/clock.hpp"
#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "core/output_files.hpp"

namespace torva {
namespace {

constexpr double kQuotientOfZero = 9999.99;

// The arrays of the constituents in the channels, kept for the runs that model
// constituents; a 1DS line names one with the constituent's number ("conc_2").
constexpr const char* kConstituentArrays[] = {"conc",     "mass",     "pointconc", "pointmass",
                                              "qlatconc", "qlatmass", "gwmass",    "nsmsource"};

void append(std::string& text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void append(std::string& text, const char* format, ...) {
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    char piece[256];
    const int n = std::vsnprintf(piece, sizeof piece, format, args);
    if (n > 0 && n < static_cast<int>(sizeof piece)) {
        text.append(piece, static_cast<std::size_t>(n));
    } else if (n > 0) {
        // A threshold of 300 digits is a number too.
        const std::size_t at = text.size();
        text.resize(at + static_cast<std::size_t>(n) + 1);
        std::vsnprintf(text.data() + at, static_cast<std::size_t>(n) + 1, format, again);
        text.resize(at + static_cast<std::size_t>(n));
    }
    va_end(again);
    va_end(args);
}

// The per-node pieces of a report are written with to_chars, which gives the
// digits printf would and takes a fraction of its time: a report at every
// step of ten analyzers formats millions of them.
void append_number(std::string& text, int value, int width) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(static_cast<std::size_t>(std::max<long>(0, width - (end - digits))), ' ');
    text.append(digits, end);
}

// As printf's "%<width>.<precision>lf".
void append_fixed(std::string& text, double value, int width, int precision) {
    char digits[64];
    const auto [end, error] =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    if (error != std::errc{}) {
        append(text, "%*.*lf", width, precision, value);
        return;
    }
    text.append(static_cast<std::size_t>(std::max<long>(0, width - (end - digits))), ' ');
    text.append(digits, end);
}

// Node values are laid out as the channel's node arrays: node 0..max + 1 of
// link 0..links + 1.
std::size_t node_index(const Channel& ch, int node, int link) {
    return static_cast<std::size_t>(link) * static_cast<std::size_t>(ch.max_nodes + 2) +
           static_cast<std::size_t>(node);
}

// One loop per operator, so that the comparison is not chosen node by node.
template <typename Test>
void mark(const double* values, int nodes, unsigned char* passed, Test test) {
    for (int j = 0; j < nodes; ++j) passed[j] = test(values[j]);
}

void mark_passing(AnalyzerOperator op, const double* values, double t, int nodes,
                  unsigned char* passed) {
    switch (op) {
        case AnalyzerOperator::less:
            return mark(values, nodes, passed, [t](double v) { return v < t; });
        case AnalyzerOperator::greater:
            return mark(values, nodes, passed, [t](double v) { return v > t; });
        case AnalyzerOperator::equal:
            return mark(values, nodes, passed, [t](double v) { return v == t; });
        case AnalyzerOperator::less_equal:
            return mark(values, nodes, passed, [t](double v) { return v <= t; });
        case AnalyzerOperator::greater_equal:
            return mark(values, nodes, passed, [t](double v) { return v >= t; });
        default:
            return mark(values, nodes, passed, [](double) { return false; });
    }
}

const char* operator_text(AnalyzerOperator op) {
    static constexpr const char* kTexts[] = {"<", ">", "==", "<=", ">="};
    return kTexts[static_cast<int>(op)];
}

bool is_logic_test(AnalyzerOperator op) {
    return static_cast<int>(op) <= static_cast<int>(AnalyzerOperator::greater_equal);
}

// Marks every node of every link that passes; returns how many did and how
// many were visited.
std::pair<int, int> run_test(const Model& model, Analyzer& a) {
    const Channel& ch = model.channel;
    int passing = 0, visited = 0;
    a.test_time = model.clock.current_time;
    if (ch.qp.empty() || a.values.empty())
        return {0, 0};
    // The nodes of one link lie next to each other in every node array.
    for (int link = 1; link <= ch.links; ++link) {
        const int nodes = ch.link[link].nodes;
        if (nodes <= 0)
            continue;
        const double* first = &ch.qp(1, link);
        const double* second = nullptr;
        if (a.array == StreamArray::depth) {
            first = &ch.yp(1, link);
            second = &ch.bel(1, link);
        } else if (a.array == StreamArray::area) {
            first = &ch.area(1, link);
        }
        double* values = a.values.data() + node_index(ch, 1, link);
        unsigned char* passed = a.passed.data() + node_index(ch, 1, link);
        if (second)
            for (int j = 0; j < nodes; ++j) values[j] = derive(a.derived, first[j], second[j]);
        else
            std::copy(first, first + nodes, values);
        mark_passing(a.op, values, a.threshold, nodes, passed);
        for (int j = 0; j < nodes; ++j) passing += passed[j];
        visited += nodes;
    }
    return {passing, visited};
}

// The time stamp of the Julian date, "MM-DD-YYYY, h:m:ss", into `stamp`.
void write_stamp(char (&stamp)[64], double julian) {
    const CalendarTime t = julian_to_calendar(julian);
    std::snprintf(stamp, sizeof stamp, "%02d-%02d-%4d, %d:%d:%2.0lf", t.month, t.day, t.year,
                  t.hour, t.minute, t.second);
}

// The moment a report is made: a time step by its stamp alone, the others
// by their name.
void append_moment(std::string& text, int moment, const char* stamp) {
    switch (moment) {
        case kEventBegan:
            text += "the beginning of an event at ";
            break;
        case kEventEnded:
            text += "the end of an event at ";
            break;
        case kInitFinished:
            text += "the beginning of the simulation at ";
            break;
        case kRunFinished:
            text += "the end of simulation at ";
            break;
        case kRunFailed:
            text += "the program crash point at ";
            break;
        default:
            break;
    }
    text += stamp;
}

// The report of the last test, in a text reused from report to report.
void compose_report(const Model& model, Analyzer& a, int moment, const char* stamp,
                    std::pair<int, int> count) {
    const Channel& ch = model.channel;
    const int r = a.reports;
    std::string& text = a.report;
    text.clear();
    if (r & kReportLogicTest) {
        text += "\n\nResults for logic test of the 2D stream array ";
        text += a.array_name;
        text += " at ";
        append_moment(text, moment, stamp);
        text += ".  Nodes with values ";
        text += a.test_text;
        text += ":\n";
    } else {
        text += "\n\nValues in the 2D stream array ";
        text += a.array_name;
        text += " at ";
        append_moment(text, moment, stamp);
        text += ": \n";
    }
    for (int link = 1; link <= ch.links; ++link) {
        if (r & kReportLinePerLink) {
            append_number(text, link, 4);
            text += ':';
        }
        for (int node = 1; node <= ch.link[link].nodes; ++node) {
            const std::size_t k = node_index(ch, node, link);
            const bool pass = a.passed[k] != 0;
            if (r & kReportPassingOnly) {
                if (!pass)
                    continue;
                text += "Link ";
                append_number(text, link, 3);
                text += ", Node ";
                append_number(text, node, 3);
                if (r & kReportValues) {
                    text += ":  ";
                    append_fixed(text, a.values[k], 14, 6);
                }
                text += '\n';
            } else if (r & (kReportLogicTest | kReportValues)) {
                text += pass ? "[T, " : "[F, ";
                append_fixed(text, a.values[k], 6, 4);
                text += ']';
            } else {
                text += pass ? 'T' : 'F';
            }
        }
        if (r & kReportLinePerLink)
            text += '\n';
    }
    if (r & kReportLogicTest)
        append(text, "====> %d out of %d nodes passed the logic test.\n", count.first,
               count.second);
}

void evaluate(Model& model, RunContext& ctx, Analyzer& a, int moment, const char* stamp) {
    if (!is_logic_test(a.op))
        return;
    const std::pair<int, int> count = run_test(model, a);
    if (!(a.reports & (kReportConsole | kReportFile)))
        return;
    compose_report(model, a, moment, stamp, count);
    if (a.reports & kReportConsole)
        std::fwrite(a.report.data(), 1, a.report.size(), ctx.out);
    // A file that failed has been reported and closed; it is written no more.
    if ((a.reports & kReportFile) && a.file.is_open() &&
        !a.file.write(a.report.data(), a.report.size()))
        raise_write_failure(ctx, a.file);
}

// A t trigger waits for the next evaluation time; the moments of the run are
// reported whenever the analyzer names them.
void notify(Model& model, RunContext& ctx, Analyzer& a, int moment, const char* stamp) {
    const int m = a.triggers & moment;
    if (m == 0)
        return;
    const double now = model.clock.current_time;
    if (m & kStepFinished) {
        if (now < a.next_time - kTimeTolerance)
            return;
        a.last_time = now;
        a.next_time = now + a.interval;
    }
    evaluate(model, ctx, a, moment, stamp);
}

}  // namespace

double derive(DerivedOperation operation, double first, double second) {
    switch (operation) {
        case DerivedOperation::add:
            return first + second;
        case DerivedOperation::subtract:
            return first - second;
        case DerivedOperation::multiply:
            return first * second;
        case DerivedOperation::divide:
            return second == 0.0 ? kQuotientOfZero : first / second;
        case DerivedOperation::none:
            break;
    }
    return first;
}

std::string analyzer_time_stamp(double julian) {
    char stamp[64];
    write_stamp(stamp, julian);
    return stamp;
}

ConstituentArrayFault find_constituent_array(std::string_view name, int constituents, int& number) {
    number = 0;
    if (constituents <= 0)
        return ConstituentArrayFault::no_constituents;
    // The name and the number are joined by the last underscore.
    const std::size_t bar = name.rfind('_');
    const std::string_view word = name.substr(0, bar);
    if (bar != std::string_view::npos) {
        const std::string digits(name.substr(bar + 1));
        const long n = std::strtol(digits.c_str(), nullptr, 10);
        number = static_cast<int>(std::clamp<long>(n, INT_MIN, INT_MAX));
    }
    if (number < 1 || number > constituents)
        return ConstituentArrayFault::out_of_range;
    for (const char* array : kConstituentArrays)
        if (word == array)
            return ConstituentArrayFault::none;
    return ConstituentArrayFault::unknown_name;
}

void set_up_analyzers(Model& model, RunContext& ctx) {
    Analyzers& analyzers = model.analyzers;
    if (!analyzers.read)
        read_analyzer_file(model, ctx);
    if (ctx.error.pending())
        return;
    // A 1DS line says why it creates nothing: this version models no
    // constituents to bind it to.
    std::erase_if(analyzers.list, [&](const Analyzer& a) {
        if (a.kind != AnalyzerKind::constituent_stream)
            return false;
        int number = 0;
        switch (find_constituent_array(a.array_name, analyzers.constituents, number)) {
            case ConstituentArrayFault::no_constituents:
                ctx.print(
                    "Error: Setting up 1DS analyzer when no constituents are being modeled.\n");
                break;
            case ConstituentArrayFault::out_of_range:
                ctx.print(
                    "Error: 1DS Analyzer for %s with index %d is out of range. Range for index "
                    "is %d to %d.\n",
                    a.array_name.c_str(), number, 1, analyzers.constituents);
                break;
            case ConstituentArrayFault::unknown_name:
                ctx.print("Error: unable to find 1DS array [%s]\n", a.array_name.c_str());
                break;
            case ConstituentArrayFault::none:
                break;
        }
        return true;
    });
    const Channel& ch = model.channel;
    const std::size_t entries =
        static_cast<std::size_t>(ch.max_nodes + 2) * static_cast<std::size_t>(ch.links + 2);
    for (Analyzer& a : analyzers.list) {
        a.values.assign(entries, 0.0);
        a.passed.assign(entries, 0);
        a.derived =
            a.array == StreamArray::depth ? DerivedOperation::subtract : DerivedOperation::none;
        a.next_time = model.clock.current_time;
        // The operator and the threshold are those of the whole run.
        a.test_text.clear();
        if (is_logic_test(a.op))
            append(a.test_text, "%s %4.6lf", operator_text(a.op), a.threshold);
    }
    // Every analyzer is bound before any file is opened: a file that cannot
    // be opened stops the run, whose crash point they all may report.
    for (Analyzer& a : analyzers.list) {
        if (!(a.reports & kReportFile))
            continue;
        a.file = open_output_file(ctx, a.file_name, Numbering::numbered);
        if (!a.file) {
            raise_open_failure(ctx, a.file);
            return;
        }
    }
    if (!model.run.super_quiet)
        ctx.print("Set up %d analyzers...\n", static_cast<int>(analyzers.list.size()));
}

void notify_analyzers(Model& model, RunContext& ctx, int moment) {
    if (model.analyzers.list.empty())
        return;
    // Every report of this moment bears the same time stamp.
    char stamp[64];
    write_stamp(stamp, model.clock.current_time);
    for (Analyzer& a : model.analyzers.list) notify(model, ctx, a, moment, stamp);
}

void close_analyzers(Model& model, RunContext& ctx) {
    // Each file is closed; the first failure is the one reported, while the
    // summary file is still open to take the message too.
    const bool earlier_error = ctx.error.pending();
    for (Analyzer& a : model.analyzers.list)
        if (a.file.is_open())
            close_output(ctx, a.file);
    if (!earlier_error)
        report_error(ctx);
}

}  // namespace torva
