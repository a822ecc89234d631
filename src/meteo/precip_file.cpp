#include "meteo/precip_file.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <tuple>

#include "core/arrays.hpp"
#include "core/clock.hpp"
#include "core/context.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

// Card words and their data are free-format tokens that may run over lines,
// while the event title and radar file names take the rest of a line; the
// cursor serves both from one line at a time.
class TokenCursor {
  public:
    TokenCursor(std::FILE* file, RunContext& ctx) : lines_(file, ctx) {}

    bool token(std::string& word) {
        while (true) {
            if (have_line_ && tokens_.text(word))
                return true;
            if (!load())
                return false;
        }
    }
    // What is left of the current line; the next token comes from the next line.
    std::string rest_of_line() {
        if (!have_line_)
            return {};
        have_line_ = false;
        std::string rest(tokens_.rest());
        while (!rest.empty() && (rest.back() == '\r' || rest.back() == '\n')) rest.pop_back();
        return rest;
    }
    void skip_line() { have_line_ = false; }
    // The line of the file the last token came from.
    int line_number() const { return lines_.line_number(); }

  private:
    bool load() {
        if (!lines_.next(line_))
            return false;
        tokens_ = Tokens(line_);
        have_line_ = true;
        return true;
    }

    LineReader lines_;
    std::string line_;
    Tokens tokens_{""};
    bool have_line_ = false;
};

// Card words are matched on their first four letters, without regard to case.
bool card_is(const std::string& word, const char* four_letters) {
    if (word.size() < 4)
        return false;
    for (int i = 0; i < 4; ++i)
        if (std::tolower(static_cast<unsigned char>(word[i])) != four_letters[i])
            return false;
    return true;
}

PrecipDataType data_type_of(const std::string& word) {
    if (card_is(word, "rada"))
        return PrecipDataType::radar;
    if (card_is(word, "gage"))
        return PrecipDataType::gages;
    if (card_is(word, "rate"))
        return PrecipDataType::rates;
    if (card_is(word, "accu"))
        return PrecipDataType::accum;
    return PrecipDataType::none;
}

bool contains_files(std::string word) {
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return word.find("files") != std::string::npos;
}

bool parse_integer(const std::string& token, int& value) {
    Tokens t(token);
    return t.integer(value);
}

bool parse_real(const std::string& token, double& value) {
    Tokens t(token);
    return t.real(value);
}

constexpr int kMaxTokensSearched = 10000;
constexpr std::size_t kMaxTitle = 255;

EventRead format_error(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
    return EventRead::none;
}

// A count on the NRGAG or NRPDS card that the event cannot be read with.
EventRead count_error(RunContext& ctx, const PrecipEvent& event, const std::string& problem) {
    ctx.print("\nThere is a problem with your rainfall input file.  The event entitled:\n");
    ctx.print("   %s\n", event.title.c_str());
    ctx.print("%s\n", problem.c_str());
    ctx.print("Check the format of the rainfall input file.\n");
    return format_error(ctx);
}

EventRead data_card_error(RunContext& ctx, bool none_known) {
    ctx.print("\nERROR:\n");
    ctx.print("\nThere is a problem in the precipitation input file.\n");
    if (none_known) {
        ctx.print("At least one precipitation data card type must be specified.\n");
        ctx.print("There may only be one of the following card types per event:\n\n");
        ctx.print("     1) RADAR\n     2) GAGES\n     3) RATES    4) ACCUM\n\n");
    } else {
        ctx.print("More than one precipitation data card type has been specified.\n");
        ctx.print("There may only be one of the following card types per event:\n\n");
        ctx.print("     1) RADAR\n     2) GAGES\n     3) RATES\n\n");
    }
    ctx.print("Check the precipitation input file.  TORVA exiting\n");
    return format_error(ctx);
}

void print_event_lines(RunContext& ctx, const PrecipEvent& event) {
    ctx.print("\nERROR:\n");
    ctx.print("There is a data error in the precipitation file.  This error occurred in the\n");
    ctx.print("EVENT titled:\n %s\n", event.title.c_str());
}

bool earlier(const RecordStamp& a, const RecordStamp& b) {
    return std::tie(a.year, a.month, a.day, a.hour, a.minute) <
           std::tie(b.year, b.month, b.day, b.hour, b.minute);
}

EventRead decreasing_time_error(RunContext& ctx, const PrecipEvent& event, int record) {
    const RecordStamp& now = event.stamps[record];
    const RecordStamp& before = event.stamps[record - 1];
    print_event_lines(ctx, event);
    ctx.print(
        "On line no. %ld, the given time of the recorded data is:    %ld/%ld/%ld %ld:%2.2ld\n",
        long(record), long(now.year), long(now.month), long(now.day), long(now.hour),
        long(now.minute));
    ctx.print("Which is earlier than the date/time on the previous line:  %ld/%ld/%ld %ld:%2.2ld\n",
              long(before.year), long(before.month), long(before.day), long(before.hour),
              long(before.minute));
    ctx.print("This error in your precipitation input file must be corrected before TORVA\n");
    ctx.print("can continue.  Program exiting on error.\n\n");
    return format_error(ctx);
}

// Two records of one time hold the rain of no time at all: whatever fell
// between them would be lost.
EventRead equal_time_error(RunContext& ctx, const PrecipEvent& event, int record,
                           std::string_view path) {
    const RecordStamp& t = event.stamps[record];
    const std::string file(path.empty() ? std::string_view("the precipitation file") : path);
    print_event_lines(ctx, event);
    ctx.print(
        "Records %d and %d of file %s both carry the time %ld/%ld/%ld %ld:%2.2ld; the rain "
        "between them would be lost.\n",
        record - 1, record, file.c_str(), long(t.year), long(t.month), long(t.day), long(t.hour),
        long(t.minute));
    ctx.print("Give each record of the event a later time than the record before it.\n\n");
    return format_error(ctx);
}

EventRead decreasing_accumulation_error(RunContext& ctx, const PrecipEvent& event, int record,
                                        int gauge) {
    print_event_lines(ctx, event);
    ctx.print("On line no. %ld, the accumulated precip. for gage number %d is: %8.5lf mm\n",
              long(record), gauge, event.value(gauge, record));
    ctx.print("Which is less than the accumulated precip. on the previous line: %8.5lf mm\n",
              event.value(gauge, record - 1));
    ctx.print("This error in your precipitation input file must be corrected before TORVA\n");
    ctx.print("can continue.  Accumulated precip is CUMULATIVE.  The values should increase\n");
    ctx.print("monotonically.  Program exiting on error.\n\n");
    return format_error(ctx);
}

// Finds the next EVENT word and takes the title from the rest of its line.
EventRead find_event(TokenCursor& in, RunContext& ctx, PrecipEvent& event, int& events_seen) {
    std::string word;
    for (int examined = 0;; ++examined) {
        if (!in.token(word))
            return EventRead::none;
        if (card_is(word, "even"))
            break;
        if (examined >= kMaxTokensSearched) {
            ctx.print("There is a problem with your rainfall input file.  TORVA cannot\n");
            ctx.print(
                "find the first event card.  Check the format of the rainfall input for event %d\n",
                events_seen);
            ctx.print("file.\n\n");
            return format_error(ctx);
        }
    }
    ++events_seen;
    event.title = in.rest_of_line().substr(0, kMaxTitle);
    return EventRead::ok;
}

// NRGAG and NRPDS, in either order, other tokens allowed between them.
EventRead read_counts(TokenCursor& in, RunContext& ctx, PrecipEvent& event) {
    bool have_gauges = false;
    bool have_records = false;
    std::string word;
    std::string argument;
    for (int examined = 0; !(have_gauges && have_records); ++examined) {
        if (examined >= kMaxTokensSearched) {
            ctx.print("\nThere is a problem with your rainfall input file.  TORVA cannot\n");
            ctx.print("find the NRPDS or NRGAG card for the event entitled:\n");
            ctx.print("   %s\n\n", event.title.c_str());
            ctx.print("Check the format of the rainfall input file.\n");
            return format_error(ctx);
        }
        if (!in.token(word))
            return EventRead::unexpected_end;
        if (card_is(word, "nrga")) {
            if (!in.token(argument))
                return EventRead::unexpected_end;
            int count = 0;
            if (parse_integer(argument, count)) {
                event.gauge_count = count;
            } else if (contains_files(argument)) {
                event.gauge_count = -1;
            } else if (argument.ends_with('\r')) {
                return count_error(ctx, event,
                                   "has Windows line ends (a carriage return after NRGAG's "
                                   "number); perhaps issue a 'dos2unix' command on the file.");
            } else {
                return count_error(ctx, event,
                                   "gives NRGAG neither a number of gages nor the word files.");
            }
            have_gauges = true;
        } else if (card_is(word, "nrpd")) {
            if (!in.token(argument))
                return EventRead::unexpected_end;
            Tokens t(argument);
            event.record_count = t.integer();
            have_records = true;
        }
    }
    if (event.gauge_count == 0 || event.gauge_count < -1)
        return count_error(ctx, event,
                           "has " + std::to_string(event.gauge_count) +
                               " gages (NRGAG); at least one gage is needed.");
    if (event.record_count < 1)
        return count_error(ctx, event,
                           "has " + std::to_string(event.record_count) +
                               " records (NRPDS); at least one record is needed.");
    if (event.record_count > kMaxPrecipRecords)
        return count_error(ctx, event,
                           "has " + std::to_string(event.record_count) +
                               " records (NRPDS); at most 1999 records fit in one event.");
    return EventRead::ok;
}

bool size_tables(RunContext& ctx, PrecipEvent& event) {
    event.file_list = event.gauge_count == -1;
    const int gauges = event.file_list ? 1 : event.gauge_count;
    const std::size_t records = static_cast<std::size_t>(event.record_count) + 2;
    const std::size_t row = static_cast<std::size_t>(gauges) + 1;
    if (!allocate(ctx, event.values, row * records, "precip values"))
        return false;
    if (!allocate(ctx, event.stamps, records, "precip time stamps"))
        return false;
    if (!allocate(ctx, event.stamp_time, records, "precip times"))
        return false;
    if (event.file_list)
        return allocate(ctx, event.radar_files, records, "radar_filenames");
    event.radar_files.clear();
    if (!allocate(ctx, event.gauge_x, row, "gage x"))
        return false;
    return allocate(ctx, event.gauge_y, row, "gage y");
}

EventRead read_coordinates(TokenCursor& in, RunContext& ctx, PrecipEvent& event) {
    std::string word, x, y;
    for (int g = 1; g <= event.gauge_count; ++g) {
        if (!in.token(word))
            return EventRead::unexpected_end;
        if (!card_is(word, "coor")) {
            ctx.print(
                "\nCannot find gage coordinate card in rainfall input file for event entitled:\n");
            ctx.print("       %s\n\n", event.title.c_str());
            ctx.print("Check rainfall input file format.\n");
            return format_error(ctx);
        }
        if (!in.token(x) || !in.token(y))
            return EventRead::unexpected_end;
        if (!parse_real(x, event.gauge_x[g]) || !parse_real(y, event.gauge_y[g])) {
            ctx.print(
                "\nCannot read the coordinates of gage %d in rainfall input file for event "
                "entitled:\n",
                g);
            ctx.print("       %s\n\n", event.title.c_str());
            ctx.print("Check rainfall input file format.\n");
            return format_error(ctx);
        }
        in.skip_line();
    }
    return EventRead::ok;
}

// The data word and the year, month, day, hour and minute of record k.
EventRead read_record_header(TokenCursor& in, RunContext& ctx, PrecipEvent& event, int k,
                             std::string_view path) {
    std::string word;
    if (!in.token(word)) {
        ctx.print("\n last year %d last month %d last day %d last hour %d last minute %d \n", 0, 0,
                  0, 0, 0);
        return EventRead::unexpected_end;
    }
    const PrecipDataType type = data_type_of(word);
    if (type == PrecipDataType::none)
        return data_card_error(ctx, event.type == PrecipDataType::none);
    if (event.type != PrecipDataType::none && type != event.type)
        return data_card_error(ctx, false);
    event.type = type;
    if (event.file_list && type != PrecipDataType::radar) {
        ctx.print("\nThere is a problem in the precipitation input file.  The event entitled:\n");
        ctx.print("   %s\n", event.title.c_str());
        ctx.print("lists file names (NRGAG files), which only RADAR records may do.\n");
        ctx.print("Check the precipitation input file.  TORVA exiting\n");
        return format_error(ctx);
    }

    int field[5] = {0, 0, 0, 0, 0};
    std::string token;
    for (int i = 0; i < 5; ++i) {
        if (!in.token(token)) {
            ctx.print("\n last year %d last month %d last day %d last hour %d last minute %d \n",
                      field[0], field[1], field[2], field[3], field[4]);
            return EventRead::unexpected_end;
        }
        if (!parse_integer(token, field[i])) {
            ctx.print("\n ERROR: \n");
            ctx.print("\n check out the date and time of precip record %d", k);
            ctx.print("\n unreadable value: %s \n", token.c_str());
            return EventRead::unexpected_end;
        }
    }
    RecordStamp& stamp = event.stamps[k];
    stamp = {field[0] < 100 ? field[0] + 1900 : field[0], field[1], field[2], field[3], field[4]};
    event.stamp_time[k] =
        calendar_to_julian(stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute);
    if (k > 1 && earlier(stamp, event.stamps[k - 1]))
        return decreasing_time_error(ctx, event, k);
    if (k > 1 && !earlier(event.stamps[k - 1], stamp))
        return equal_time_error(ctx, event, k, path);
    return EventRead::ok;
}

// What a gauge value of this data word is, for messages.
const char* gauge_quantity(PrecipDataType type) {
    switch (type) {
        case PrecipDataType::gages:
            return "the rain depth (mm)";
        case PrecipDataType::accum:
            return "the accumulated rain depth (mm)";
        case PrecipDataType::rates:
            return "the rain intensity (mm/h)";
        default:
            return "the rain value";
    }
}

// A gauge value that is not a finite number, or is negative, would spread
// nonsense over the cells and stop the run much later with advice that does
// not help; it is refused here, naming the file, line, record and gauge.
EventRead refuse_gauge_value(RunContext& ctx, const PrecipEvent& event, std::string_view path,
                             int line, int k, int g, const std::string& token, const char* what) {
    ctx.print_and_log(
        "Error: precipitation file %.*s, line %d, event %s, record %d, gage %d: %s %s %s.\n",
        static_cast<int>(path.size()), path.data(), line, event.title.c_str(), k, g,
        gauge_quantity(event.type), token.c_str(), what);
    ctx.error.raise(err::message_printed);
    return EventRead::none;
}

EventRead read_record_values(TokenCursor& in, RunContext& ctx, PrecipEvent& event, int k,
                             std::string_view path) {
    if (event.file_list) {
        event.radar_files[k] = in.rest_of_line();
        return EventRead::ok;
    }
    std::string token;
    for (int g = 1; g <= event.gauge_count; ++g) {
        if (!in.token(token)) {
            ctx.print("\n ERROR: \n");
            ctx.print("\n check out gage input for precip record %d", k);
            ctx.print("\n look at gage %d \n", g);
            return EventRead::unexpected_end;
        }
        double& value = event.value(g, k);
        const NumberFault fault = read_real(token, value);
        if (fault != NumberFault::none)
            return refuse_gauge_value(ctx, event, path, in.line_number(), k, g, token,
                                      number_fault_text(fault));
        if (value < 0.0)
            return refuse_gauge_value(ctx, event, path, in.line_number(), k, g, token,
                                      "is negative; rain cannot be negative");
        if (event.type == PrecipDataType::accum && k > 1 &&
            event.value(g, k) < event.value(g, k - 1))
            return decreasing_accumulation_error(ctx, event, k, g);
    }
    in.skip_line();
    return EventRead::ok;
}

// Whole minutes from one stamp to the next, exact: the hours of an interval
// taken from the difference of two Julian dates would carry the round-off of
// numbers near 2.45 million days into every intensity.
long minutes_between(const RecordStamp& a, const RecordStamp& b) {
    const double days =
        calendar_to_julian(b.year, b.month, b.day) - calendar_to_julian(a.year, a.month, a.day);
    return std::lround(days) * 1440L + (b.hour * 60L + b.minute) - (a.hour * 60L + a.minute);
}

}  // namespace

EventRead read_precip_event(std::FILE* file, RunContext& ctx, PrecipEvent& event, int& events_seen,
                            std::string_view path) {
    TokenCursor in(file, ctx);
    event = PrecipEvent{};
    EventRead result = find_event(in, ctx, event, events_seen);
    if (result != EventRead::ok)
        return result;
    result = read_counts(in, ctx, event);
    if (result != EventRead::ok)
        return result;
    if (!size_tables(ctx, event))
        return EventRead::none;
    result = read_coordinates(in, ctx, event);
    if (result != EventRead::ok)
        return result;
    for (int k = 1; k <= event.record_count; ++k) {
        result = read_record_header(in, ctx, event, k, path);
        if (result == EventRead::ok)
            result = read_record_values(in, ctx, event, k, path);
        if (result != EventRead::ok)
            return result;
    }
    if (event.file_list) {
        event.gauge_count = 1;
        event.radar_files[event.record_count + 1] = event.radar_files[event.record_count];
    }
    return EventRead::ok;
}

void convert_to_intensities(PrecipEvent& event, RunContext& ctx) {
    if (event.file_list || event.type == PrecipDataType::rates)
        return;
    constexpr long kLongInterval = 1440;  // minutes
    for (int k = 1; k < event.record_count; ++k) {
        const long minutes = minutes_between(event.stamps[k], event.stamps[k + 1]);
        const double hours = minutes / 60.0;
        if (minutes > kLongInterval)
            ctx.print("WARNING: you have a long delta t in your precip file\n");
        for (int g = 1; g <= event.gauge_count; ++g) {
            double& v = event.value(g, k);
            const double next = event.value(g, k + 1);
            // The reader refuses records of equal time, so minutes > 0; the
            // guard keeps an intensity finite all the same.
            const bool instant = minutes <= 0;
            switch (event.type) {
                case PrecipDataType::radar:
                    v = next;
                    break;
                case PrecipDataType::gages:
                    v = instant ? 0.0 : next / hours;
                    break;
                case PrecipDataType::accum:
                    v = instant ? 0.0 : (next - v) / hours;
                    break;
                default:
                    break;
            }
        }
    }
}

}  // namespace torva
