#pragma once
// File names as users write them on cards: a name may stand in double quotes.

#include <string>
#include <string_view>

namespace torva {

// The name without its enclosing double quotes.
inline std::string strip_quotes(std::string_view name) {
    if (!name.empty() && name.front() == '"')
        name.remove_prefix(1);
    if (!name.empty() && name.back() == '"')
        name.remove_suffix(1);
    return std::string(name);
}

}  // namespace torva
