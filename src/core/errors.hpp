#pragma once
// The error record and its reporter. A phase that fails stores a code (and the
// placeholders its message needs) and returns; the run driver reports it between
// phases and decides whether the run goes on.

#include <string>
#include <string_view>

namespace torva {

struct RunContext;

// Codes with a name in the code; all others are used by number where they are raised.
namespace err {
inline constexpr int project_not_found = 3;
inline constexpr int open_file = 4;
inline constexpr int qdat_not_supported = 5;
inline constexpr int time_step_zero = 52;
inline constexpr int hydrograph_interval_default = 55;
inline constexpr int outlet_slope_missing = 56;
inline constexpr int latitude_longitude_missing = 57;
inline constexpr int gmt_offset_missing = 58;
inline constexpr int open_output_file = 59;
// A write, flush or close of an output file failed (full device, vanished folder).
inline constexpr int write_output_file = 131;
// The phase has printed its own message lines; the report adds nothing.
inline constexpr int message_printed = 4000;
}  // namespace err

struct ErrorArgs {
    int number1 = 0;
    int number2 = 0;
    std::string_view text1{};
    std::string_view text2{};
};

struct ErrorRecord {
    int code = 0;
    int fatal = 0;
    int number1 = 0;
    int number2 = 0;
    std::string text1;        // at most 59 characters are kept
    std::string text2;        // at most 131 characters are kept
    int last_fatal_code = 0;  // the code that made the run fatal, kept after its report

    // Stores a pending error; the driver's next check reports it.
    void raise(int error_code, ErrorArgs args = {});
    void clear() { *this = ErrorRecord{}; }
    bool pending() const { return code != 0; }
};

bool is_warning(int code);

// The message of a code with its placeholders filled from the record; empty
// for codes without a message (4000 and the reserved codes).
std::string error_message(const ErrorRecord& record);

// Prints the pending message (console, and the summary file for the codes
// mirrored there), marks the run fatal unless the code is a warning, and
// clears the code. Does nothing when no code is pending.
void report_error(RunContext& ctx);

// Reports a pending error, then answers whether the run must stop.
bool run_must_stop(RunContext& ctx);

// Raises and reports at once: for warnings that appear where they arise and
// for phases that have printed their own lines.
void raise_and_report(RunContext& ctx, int code, ErrorArgs args = {});

}  // namespace torva
