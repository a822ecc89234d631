#include "grid/raster_library.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace torva {

bool looks_like_library_raster(std::string_view start, bool ascii_grids) {
    // Text layouts never hold a zero byte; GeoTIFF, NetCDF, HDF and the other
    // binary rasters do within their first bytes.
    if (start.find('\0') != std::string_view::npos)
        return true;
    std::size_t i = 0;
    while (i < start.size() && std::isspace(static_cast<unsigned char>(start[i]))) ++i;
    const std::string_view text = start.substr(i);
    if (text.starts_with("CDF") || text.starts_with("\x89HDF") || text.starts_with("<"))
        return true;
    if (!ascii_grids)
        return false;
    std::string word(text.substr(0, std::min<std::size_t>(text.size(), 5)));
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word == "ncols" || word == "nrows";
}

bool is_library_raster(std::FILE* file, bool ascii_grids) {
    char start[512];
    const std::size_t n = std::fread(start, 1, sizeof start, file);
    std::rewind(file);
    return looks_like_library_raster(std::string_view(start, n), ascii_grids);
}

}  // namespace torva
