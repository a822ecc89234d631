#include "input/numbers.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace torva {
namespace {

// The conversion takes no leading plus; one is skipped when a digit or a point
// follows it.
const char* skip_plus(const char* first, const char* last) {
    if (last - first >= 2 && *first == '+' && *(first + 1) != '+' && *(first + 1) != '-')
        return first + 1;
    return first;
}

}  // namespace

NumberFault read_real(std::string_view token, double& value) {
    value = 0.0;
    if (token.empty())
        return NumberFault::missing;
    const char* last = token.data() + token.size();
    const char* first = skip_plus(token.data(), last);
    double v = 0.0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::invalid_argument || end != last)
        return NumberFault::not_a_number;
    if (ec == std::errc::result_out_of_range) {
        // Too small a magnitude reads as the nearest double (0 or a subnormal);
        // too large a one cannot be a real quantity.
        const std::string copy(first, last);
        v = std::strtod(copy.c_str(), nullptr);
    }
    if (!std::isfinite(v))
        return NumberFault::not_finite;
    value = v;
    return NumberFault::none;
}

NumberFault read_integer(std::string_view token, int& value) {
    value = 0;
    if (token.empty())
        return NumberFault::missing;
    const char* last = token.data() + token.size();
    const char* first = skip_plus(token.data(), last);
    long long v = 0;
    const auto [end, ec] = std::from_chars(first, last, v);
    if (ec == std::errc{} && end == last) {
        if (v < INT_MIN || v > INT_MAX)
            return NumberFault::too_large;
        value = static_cast<int>(v);
        return NumberFault::none;
    }
    if (ec == std::errc::result_out_of_range && end == last)
        return NumberFault::too_large;
    double real = 0.0;
    const NumberFault fault = read_real(token, real);
    if (fault != NumberFault::none)
        return fault;
    return read_integer(real, value);
}

NumberFault read_integer(double real, int& value) {
    value = 0;
    if (!std::isfinite(real))
        return NumberFault::not_finite;
    if (real != std::trunc(real))
        return NumberFault::not_whole;
    if (real < INT_MIN || real > INT_MAX)
        return NumberFault::too_large;
    value = static_cast<int>(real);
    return NumberFault::none;
}

const char* number_fault_text(NumberFault fault) {
    switch (fault) {
        case NumberFault::none:
            return "is a number";
        case NumberFault::missing:
            return "is missing";
        case NumberFault::not_a_number:
            return "is not a number";
        case NumberFault::not_finite:
            return "is not a finite number";
        case NumberFault::too_large:
            return "does not fit in an integer (-2147483648 to 2147483647)";
        case NumberFault::not_whole:
            return "is not a whole number";
    }
    return "is not a number";
}

}  // namespace torva
