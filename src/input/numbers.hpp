#pragma once
// The one reading of numbers that every card, map and table goes through. A
// token is a number only when the whole of it reads as one; a real must be
// finite (no nan, no inf, nothing that overflows a double) and an integer must
// fit an int. An integer may be written as a real with no fraction ("12.0"),
// as programs that write maps of reals often do.

#include <string_view>

namespace torva {

enum class NumberFault {
    none,
    missing,       // no token at all
    not_a_number,  // "abc", "12ab", ""
    not_finite,    // "nan", "inf", "1e999"
    too_large,     // an integer outside the int range
    not_whole,     // an integer written with a fraction ("2.5")
};

NumberFault read_real(std::string_view token, double& value);
NumberFault read_integer(std::string_view token, int& value);
// An integer held by a real of a binary raster, judged as its word would be.
NumberFault read_integer(double real, int& value);

// What is wrong with the token, to follow it in a message: "is not a number",
// "is not a finite number", "does not fit in an integer (-2147483648 to
// 2147483647)", "is not a whole number", "is missing".
const char* number_fault_text(NumberFault fault);

}  // namespace torva
