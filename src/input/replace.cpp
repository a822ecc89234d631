#include "input/replace.hpp"

#include <cstdio>
#include <cstring>

#include "core/context.hpp"
#include "input/numbers.hpp"
#include "input/tokens.hpp"

namespace torva {
namespace {

using Kind = ReplacementParameter::Kind;

// Widths and precisions beyond this many digits could never fit a line.
constexpr std::size_t kMaxFieldDigits = 5;

bool in_set(char c, const char* set) {
    return c != '\0' && std::strchr(set, c) != nullptr;
}

// Checks the format and rebuilds it without length modifiers, so that the
// conversion always matches the argument passed (int, double or text) whatever
// l, h or L the user wrote.
bool normalise_format(const std::string& format, Kind& kind, std::string& normalised) {
    const std::size_t letter = format.find_last_of("dfs");
    if (letter == std::string::npos)
        return false;
    kind = format[letter] == 'd' ? Kind::integer : format[letter] == 'f' ? Kind::real : Kind::text;

    normalised.clear();
    int conversions = 0;
    char conversion = 0;
    const std::size_t n = format.size();
    std::size_t i = 0;
    while (i < n) {
        if (format[i] == '\0')
            return false;
        if (format[i] != '%') {
            normalised += format[i++];
            continue;
        }
        if (i + 1 < n && format[i + 1] == '%') {
            normalised += "%%";
            i += 2;
            continue;
        }
        if (++conversions > 1)
            return false;
        std::size_t j = i + 1;
        while (j < n && in_set(format[j], "-+ #0")) ++j;
        const std::size_t width_start = j;
        while (j < n && in_set(format[j], "0123456789")) ++j;
        if (j - width_start > kMaxFieldDigits)
            return false;
        if (j < n && format[j] == '.') {
            const std::size_t precision_start = ++j;
            while (j < n && in_set(format[j], "0123456789")) ++j;
            if (j - precision_start > kMaxFieldDigits)
                return false;
        }
        const std::size_t spec_end = j;
        while (j < n && in_set(format[j], "hlLqjzt")) ++j;
        if (j >= n)
            return false;
        conversion = format[j];
        normalised.append(format, i, spec_end - i);
        normalised += conversion;
        i = j + 1;
    }
    if (conversions != 1)
        return false;
    switch (kind) {
        case Kind::integer:
            return conversion == 'd' || conversion == 'i';
        case Kind::real:
            return in_set(conversion, "fFeEgG");
        case Kind::text:
            return conversion == 's';
    }
    return false;
}

template <typename Value>
std::string print_with(const std::string& format, Value value) {
    const int n = std::snprintf(nullptr, 0, format.c_str(), value);
    if (n <= 0)
        return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    std::snprintf(out.data(), out.size() + 1, format.c_str(), value);
    return out;
}

// Whole lines, however long and whatever bytes they hold, so that a long line
// never shifts the line count that selects a batch run's values.
bool read_whole_line(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::getc(file);
    if (c == EOF)
        return false;
    while (c != EOF && c != '\n') {
        line += static_cast<char>(c);
        c = std::getc(file);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

void print_improper_line(RunContext& ctx, const std::string& line) {
    ctx.print("Error: Improperly formatted line in the replacement parameter file\nline:%s\n",
              line.c_str());
}

// One declaration line; false (after its message) when the line is refused.
bool declare_parameter(RunContext& ctx, const std::string& line) {
    const std::size_t open = line.rfind('[');
    const std::size_t close = line.rfind(']');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        print_improper_line(ctx, line);
        return false;
    }
    ReplacementParameter p;
    p.tag = line.substr(open, close - open + 1);
    if (p.tag.size() > kMaxTagLength) {
        ctx.print(
            "Error: the tag %s in the replacement parameter file is longer than %zu "
            "characters\n",
            p.tag.c_str(), kMaxTagLength);
        return false;
    }
    Tokens rest(std::string_view(line).substr(close + 1));
    rest.text(p.format);
    if (p.format.size() > kMaxFormatLength) {
        ctx.print(
            "Error: the format %s of the tag %s in the replacement parameter file is longer "
            "than %zu characters\n",
            p.format.c_str(), p.tag.c_str(), kMaxFormatLength);
        return false;
    }
    if (!parse_value_format(p.format, p.kind)) {
        print_improper_line(ctx, line);
        ctx.print("---> The format must be a C-style format in quotes, such as \"%%4.2lf\"\n");
        return false;
    }
    ctx.replacement.parameters.push_back(std::move(p));
    return true;
}

}  // namespace

bool parse_value_format(const std::string& format, Kind& kind) {
    std::string normalised;
    return normalise_format(format, kind, normalised);
}

std::string format_value(const ReplacementParameter& p) {
    std::string format;
    Kind kind;
    const bool usable = normalise_format(p.format, kind, format) && kind == p.kind;
    switch (p.kind) {
        case Kind::integer:
            return print_with(usable ? format : "%d", p.integer_value);
        case Kind::real:
            return print_with(usable ? format : "%g", p.real_value);
        case Kind::text:
            return usable ? print_with(format, p.text_value.c_str()) : p.text_value;
    }
    return {};
}

int read_replacement_parameters(RunContext& ctx, const std::string& file_name) {
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.print("Error: unable to open the replace parameter file.\n");
        return -1;
    }
    std::string line;
    int expected = 0;
    if (!read_whole_line(file, line) || !Tokens(line).integer(expected) || expected < 0) {
        ctx.print("Error: unable to read the number of parameters in the parameter list file\n");
        std::fclose(file);
        return -1;
    }
    int result = 0;
    for (int i = 0; i < expected; ++i) {
        if (!read_whole_line(file, line)) {
            ctx.print(
                "Error: unexpected end of parameter list file after %d parameters. Expecting %d\n",
                i, expected);
            result = -1;
            break;
        }
        if (!declare_parameter(ctx, line))
            result = -1;
    }
    std::fclose(file);
    return result;
}

int read_replacement_values(RunContext& ctx, const std::string& file_name) {
    std::FILE* file = std::fopen(file_name.c_str(), "r");
    if (!file) {
        ctx.print("Error: unable to open the value file %s", file_name.c_str());
        return -1;
    }
    // A run whose value line is missing would otherwise go on with the values
    // of an earlier run or with zeros, and report success.
    const long long wanted = static_cast<long long>(ctx.replace_line) + 1;
    std::string line;
    long long lines_read = 0;
    while (lines_read < wanted && read_whole_line(file, line)) ++lines_read;
    std::fclose(file);
    if (wanted < 1 || lines_read < wanted) {
        ctx.print("Error: the value file %s has no line %lld\n", file_name.c_str(), wanted);
        ctx.error.raise(err::message_printed);
        return -1;
    }

    Tokens values(line);
    for (ReplacementParameter& p : ctx.replacement.parameters) {
        switch (p.kind) {
            case Kind::integer:
                p.integer_value = values.integer();
                break;
            case Kind::real:
                p.real_value = values.real();
                break;
            case Kind::text:
                values.text(p.text_value);
                break;
        }
        p.used = false;
    }
    ctx.replacement.count = 0;
    ctx.replacement.active = true;
    return 0;
}

namespace {

bool refuse_host_value(RunContext& ctx) {
    ctx.error.raise(err::message_printed);
    return false;
}

// The key as a tag: "N" and "[N]" both name [N].
std::string tag_of_key(const std::string& key) {
    if (!key.empty() && key.front() == '[')
        return key;
    return "[" + key + "]";
}

bool take_host_value(RunContext& ctx, ReplacementParameter& p, const std::string& value) {
    NumberFault fault = NumberFault::none;
    switch (p.kind) {
        case Kind::integer:
            fault = read_integer(value, p.integer_value);
            break;
        case Kind::real:
            fault = read_real(value, p.real_value);
            break;
        case Kind::text:
            p.text_value = value;
            break;
    }
    if (fault != NumberFault::none) {
        ctx.print("Error: the replacement value %s for tag %s %s.\n", value.c_str(), p.tag.c_str(),
                  number_fault_text(fault));
        return refuse_host_value(ctx);
    }
    p.used = false;
    return true;
}

}  // namespace

int apply_host_values(RunContext& ctx) {
    HostLink& host = *ctx.host;
    for (const auto& [key, value] : host.values) {
        const std::string tag = tag_of_key(key);
        bool declared = false;
        for (const ReplacementParameter& p : ctx.replacement.parameters) declared |= p.tag == tag;
        if (!declared) {
            ctx.print("Error: the replacement value %s names no tag the project declares.\n",
                      key.c_str());
            refuse_host_value(ctx);
            return -1;
        }
    }
    for (ReplacementParameter& p : ctx.replacement.parameters) {
        const std::string* value = nullptr;
        for (const auto& [key, given] : host.values)
            if (tag_of_key(key) == p.tag)
                value = &given;
        if (!value) {
            ctx.print("Error: no replacement value was given for tag %s.\n", p.tag.c_str());
            refuse_host_value(ctx);
            return -1;
        }
        if (!take_host_value(ctx, p, *value))
            return -1;
    }
    ctx.replacement.count = 0;
    ctx.replacement.active = true;
    host.values_applied = true;
    return 0;
}

namespace {

// The first declared tag that starts at line[position].
ReplacementParameter* tag_at(RunContext& ctx, const std::string& line, std::size_t position) {
    for (ReplacementParameter& p : ctx.replacement.parameters)
        if (line.compare(position, p.tag.size(), p.tag) == 0)
            return &p;
    return nullptr;
}

// Replaces the tag at `position` by its value; the value's length.
std::size_t put_value(RunContext& ctx, std::string& line, std::size_t position,
                      ReplacementParameter& p, const std::string& value) {
    line.replace(position, p.tag.size(), value);
    ++ctx.replacement.count;
    p.used = true;
    return value.size();
}

}  // namespace

int substitute_at(RunContext& ctx, std::string& line, std::size_t position, std::size_t max_length,
                  std::size_t& new_length) {
    ReplacementParameter* p = tag_at(ctx, line, position);
    if (!p)
        return 0;
    const std::string value = format_value(*p);
    const std::size_t length = line.size() - p->tag.size() + value.size();
    if (length > max_length)
        return -1;
    put_value(ctx, line, position, *p, value);
    new_length = length;
    return 1;
}

void substitute_tags(RunContext& ctx, std::string& line, std::size_t max_length) {
    if (!ctx.replacement.active)
        return;
    // Scanning goes on one character after each '[', inside a value just put
    // in, so that a value that holds a tag is replaced as well. The ends of
    // the values being scanned are stacked: a chain of values nested deeper
    // than there are tags must hold a tag inside its own value, which would
    // be replaced without end. A tag that reaches past the end of a value is
    // no part of that value.
    std::vector<std::size_t> value_ends;
    for (std::size_t at = line.find('['); at != std::string::npos; at = line.find('[', at + 1)) {
        ReplacementParameter* p = tag_at(ctx, line, at);
        if (!p) {
            ctx.print("Error: unable to match replace pair: %s\n", line.c_str());
            continue;
        }
        while (!value_ends.empty() && at + p->tag.size() > value_ends.back()) value_ends.pop_back();
        const std::string value = format_value(*p);
        if (line.size() - p->tag.size() + value.size() > max_length) {
            ctx.print(
                "Error: a replacement value would make this line longer than %zu characters; "
                "the line is left as it is:\n%s\n",
                max_length, line.c_str());
            ctx.error.raise(err::message_printed);
            return;
        }
        if (value_ends.size() >= ctx.replacement.parameters.size()) {
            ctx.print(
                "Error: the value of replacement tag %s holds the tag again, so it would be "
                "replaced without end:\n%s\n",
                p->tag.c_str(), line.c_str());
            ctx.error.raise(err::message_printed);
            return;
        }
        const std::size_t growth = value.size() - p->tag.size();  // modulo 2^64, as the ends
        put_value(ctx, line, at, *p, value);
        for (std::size_t& end : value_ends) end += growth;
        value_ends.push_back(at + value.size());
    }
}

void report_replacement_values(RunContext& ctx) {
    ctx.print_and_log("\nUsing replacement values:\n");
    for (const ReplacementParameter& p : ctx.replacement.parameters)
        ctx.print_and_log("  %-14s = %s\n", p.tag.c_str(), format_value(p).c_str());
    ctx.print_and_log("\n");
}

void report_replacement_use(RunContext& ctx) {
    ctx.print_and_log("\nTotal times a value was replaced: %d\n\n", ctx.replacement.count);
    ctx.print_and_log("\nWas replacement value used?:\n");
    for (const ReplacementParameter& p : ctx.replacement.parameters)
        ctx.print_and_log("  %-14s = %s", p.tag.c_str(), p.used ? "Yes\n" : "No\n");
    ctx.print_and_log("\n");
}

}  // namespace torva
