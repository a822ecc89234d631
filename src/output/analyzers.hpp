#pragma once
// Analyzers: watches on the arrays of the channel nodes. The analyzer file
// (card ANALYZERS) holds one a line; each tests every node against a
// threshold at the moments it names and reports on the console or into a
// file of its own. The driver reads the file before any output is opened,
// sets the analyzers up once the network is read, and notifies them.

#include <string>
#include <string_view>

#include "output/analyzers_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Reads the analyzer file into the list, refusing (with a message naming the
// line, and error 4000) a file that cannot be opened and any line that cannot
// make an analyzer. Runs before any output is opened, so that the analyzers'
// output names are checked with the others.
void read_analyzer_file(Model& model, RunContext& ctx);

// Binds the analyzers read to their arrays and opens their files; a 1DS line
// creates nothing in a run without constituents. Prints "Set up %d
// analyzers...".
void set_up_analyzers(Model& model, RunContext& ctx);

// Tells every analyzer, in file order, that the moment has come.
void notify_analyzers(Model& model, RunContext& ctx, int moment);

// Closes the analyzers' files; a failed write or close raises its error.
void close_analyzers(Model& model, RunContext& ctx);

// The report's time stamp of a Julian date: "MM-DD-YYYY, h:m:ss".
std::string analyzer_time_stamp(double julian);

// A value derived from two node values; a quotient by zero is 9999.99.
double derive(DerivedOperation operation, double first, double second);

// What binding a 1DS array name ("conc_2") finds, given the number of
// constituents the run models.
enum class ConstituentArrayFault { none, no_constituents, out_of_range, unknown_name };
ConstituentArrayFault find_constituent_array(std::string_view name, int constituents, int& number);

}  // namespace torva
