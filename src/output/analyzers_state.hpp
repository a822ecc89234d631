#pragma once
// The analyzers of one simulation: watches on the arrays of the channel nodes
// that test every node against a threshold at chosen moments of the run and
// report the result on the console or into a file of their own.

#include <string>
#include <vector>

#include "core/output_files.hpp"

namespace torva {

// The moments an analyzer reacts to; the driver sends one at a time.
enum AnalyzerMoment : int {
    kStepFinished = 1,  // t: a time step finished (subject to the interval)
    kEventBegan = 2,    // E: a precipitation event began
    kEventEnded = 4,    // e: a precipitation event ended
    kInitFinished = 8,  // S: the start of the simulation
    kRunFinished = 16,  // s: the end of the simulation
    kRunFailed = 32     // c: the run stopped on an error
};

// How an analyzer reports, as letters of its line.
enum AnalyzerReport : int {
    kReportPassingOnly = 1,  // t: only the nodes that pass
    kReportLinePerLink = 2,  // v: one line per link
    kReportConsole = 4,      // s
    kReportFile = 8,         // f
    kReportLogicTest = 16,   // c: header, pass marks and the count
    kReportValues = 32       // d
};

// The operator of a line; the first five make a logic test, the others give
// an analyzer that neither tests nor reports.
enum class AnalyzerOperator : int {
    less = 0,
    greater = 1,
    equal = 2,
    less_equal = 3,
    greater_equal = 4,
    add = 5,
    subtract = 6,
    multiply = 7,
    divide = 8,
    none = 9
};

enum class AnalyzerKind { constituent_stream, hydraulic_stream };  // 1DS, 2DS

// The hydraulic arrays of the channel nodes a 2DS analyzer can watch.
enum class StreamArray { depth, area, flow };

// How a watched value is derived from two node arrays; the depth is the water
// surface less the bed.
enum class DerivedOperation : int { add = 5, subtract = 6, multiply = 7, divide = 8, none = 9 };

struct Analyzer {
    int line = 0;  // of the analyzer file
    AnalyzerKind kind = AnalyzerKind::hydraulic_stream;
    std::string array_name;  // as written in the file
    StreamArray array = StreamArray::flow;
    int triggers = 0;  // AnalyzerMoment bits
    int reports = 0;   // AnalyzerReport bits
    AnalyzerOperator op = AnalyzerOperator::none;
    double threshold = 0.0;
    double interval = 0.0;  // days; 0 evaluates at every step
    double last_time = 0.0;
    double next_time = 0.0;  // Julian date of the next evaluation
    std::string file_name;   // as written, with report letter f
    OutputFile file;

    // The test: the operation deriving the values, the pass mark of every
    // node (laid out as the channel's node arrays), the text of the last
    // test ("> 10.000000") and its model time.
    DerivedOperation derived = DerivedOperation::none;
    std::vector<double> values;
    std::vector<unsigned char> passed;
    std::string test_text;
    double test_time = 0.0;
    std::string report;  // reused from report to report
};

struct Analyzers {
    std::string file;            // the analyzer file, as named by the card
    std::vector<Analyzer> list;  // in file order
    bool read = false;           // the file has been read
    int constituents = 0;        // constituents the run models (none in this version)
};

}  // namespace torva
