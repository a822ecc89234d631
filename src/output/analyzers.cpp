#include "output/analyzers.hpp"

#include <algorithm>
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
    char piece[256];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(piece, sizeof piece, format, args);
    va_end(args);
    if (n > 0)
        text.append(piece, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof piece - 1));
}

// Node values are laid out as the channel's node arrays: node 0..max + 1 of
// link 0..links + 1.
std::size_t node_index(const Channel& ch, int node, int link) {
    return static_cast<std::size_t>(link) * static_cast<std::size_t>(ch.max_nodes + 2) +
           static_cast<std::size_t>(node);
}

double node_value(const Model& model, const Analyzer& a, int node, int link) {
    const Channel& ch = model.channel;
    switch (a.array) {
        case StreamArray::depth:
            return derive(a.derived, ch.yp(node, link), ch.bel(node, link));
        case StreamArray::area:
            return ch.area(node, link);
        case StreamArray::flow:
            break;
    }
    return ch.qp(node, link);
}

bool passes(AnalyzerOperator op, double value, double threshold) {
    switch (op) {
        case AnalyzerOperator::less:
            return value < threshold;
        case AnalyzerOperator::greater:
            return value > threshold;
        case AnalyzerOperator::equal:
            return value == threshold;
        case AnalyzerOperator::less_equal:
            return value <= threshold;
        case AnalyzerOperator::greater_equal:
            return value >= threshold;
        default:
            return false;
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
    for (int link = 1; link <= ch.links; ++link)
        for (int node = 1; node <= ch.link[link].nodes; ++node) {
            const std::size_t k = node_index(ch, node, link);
            a.values[k] = node_value(model, a, node, link);
            a.passed[k] = passes(a.op, a.values[k], a.threshold);
            passing += a.passed[k];
            ++visited;
        }
    a.test_text.clear();
    append(a.test_text, "%s %4.6lf", operator_text(a.op), a.threshold);
    a.test_time = model.clock.current_time;
    return {passing, visited};
}

void append_moment(std::string& text, int moment, double julian) {
    const std::string stamp = analyzer_time_stamp(julian);
    switch (moment) {
        case kEventBegan:
            append(text, "the beginning of an event at %s", stamp.c_str());
            break;
        case kEventEnded:
            append(text, "the end of an event at %s", stamp.c_str());
            break;
        case kInitFinished:
            append(text, "the beginning of the simulation at %s", stamp.c_str());
            break;
        case kRunFinished:
            append(text, "the end of simulation at %s", stamp.c_str());
            break;
        case kRunFailed:
            append(text, "the program crash point at %s", stamp.c_str());
            break;
        default:
            text += stamp;
            break;
    }
}

// The report of the last test, in a text reused from report to report.
void compose_report(const Model& model, Analyzer& a, int moment, std::pair<int, int> count) {
    const Channel& ch = model.channel;
    const int r = a.reports;
    std::string& text = a.report;
    text.clear();
    std::string moment_text;
    append_moment(moment_text, moment, a.test_time);
    if (r & kReportLogicTest)
        append(text,
               "\n\nResults for logic test of the 2D stream array %s at %s.  Nodes with values "
               "%s:\n",
               a.array_name.c_str(), moment_text.c_str(), a.test_text.c_str());
    else
        append(text, "\n\nValues in the 2D stream array %s at %s: \n", a.array_name.c_str(),
               moment_text.c_str());
    for (int link = 1; link <= ch.links; ++link) {
        if (r & kReportLinePerLink)
            append(text, "%4d:", link);
        for (int node = 1; node <= ch.link[link].nodes; ++node) {
            const std::size_t k = node_index(ch, node, link);
            const bool pass = a.passed[k] != 0;
            if (r & kReportPassingOnly) {
                if (!pass)
                    continue;
                append(text, "Link %3d, Node %3d", link, node);
                if (r & kReportValues)
                    append(text, ":  %14.6lf\n", a.values[k]);
                else
                    text += '\n';
            } else if (r & (kReportLogicTest | kReportValues)) {
                append(text, pass ? "[T, %6.4lf]" : "[F, %6.4lf]", a.values[k]);
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

void evaluate(Model& model, RunContext& ctx, Analyzer& a, int moment) {
    if (!is_logic_test(a.op))
        return;
    const std::pair<int, int> count = run_test(model, a);
    if (!(a.reports & (kReportConsole | kReportFile)))
        return;
    compose_report(model, a, moment, count);
    if (a.reports & kReportConsole)
        ctx.print("%s", a.report.c_str());
    // A file that failed has been reported and closed; it is written no more.
    if ((a.reports & kReportFile) && a.file.is_open() &&
        !a.file.write(a.report.data(), a.report.size()))
        raise_write_failure(ctx, a.file);
}

// A t trigger waits for the next evaluation time; the moments of the run are
// reported whenever the analyzer names them.
void notify(Model& model, RunContext& ctx, Analyzer& a, int moment) {
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
    evaluate(model, ctx, a, moment);
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
    const CalendarTime t = julian_to_calendar(julian);
    char text[64];
    std::snprintf(text, sizeof text, "%02d-%02d-%4d, %d:%d:%2.0lf", t.month, t.day, t.year, t.hour,
                  t.minute, t.second);
    return text;
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
        if (a.reports & kReportFile) {
            a.file = open_output_file(ctx, a.file_name, Numbering::numbered);
            if (!a.file) {
                raise_open_failure(ctx, a.file);
                return;
            }
        }
    }
    if (!model.run.super_quiet)
        ctx.print("Set up %d analyzers...\n", static_cast<int>(analyzers.list.size()));
}

void notify_analyzers(Model& model, RunContext& ctx, int moment) {
    for (Analyzer& a : model.analyzers.list) notify(model, ctx, a, moment);
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
