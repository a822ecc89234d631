#pragma once
// A small channel network on the 3 x 3 test watershed (cells 10 m, the middle
// column lowest): link 1 trapezoidal with 2 nodes drains into link 2, a
// break-point link of 3 nodes and the outlet link. Tests edit its lines.

#include <string>
#include <utility>
#include <vector>

namespace torva::test {

inline const char* kSmallNetwork =
    "TORVA_CHAN\n"
    "ALPHA 1.0\n"
    "BETA 0.6\n"
    "THETA 0.7\n"
    "LINKS 2\n"
    "MAXNODES 3\n"
    "CONNECT 1 2 0\n"
    "CONNECT 2 0 1 1\n"
    "LINK 1\n"
    "TRAPEZOID\n"
    "NODES 2\n"
    "DX 10\n"
    "MANNINGS_N 0.035\n"
    "NODE 1\n"
    "ELEV 9.6\n"
    "XSEC\n"
    "BOTTOM_WIDTH 1.0\n"
    "BANKFULL_DEPTH 0.5\n"
    "SIDE_SLOPE 1.0\n"
    "NODE 2\n"
    "ELEV 9.55\n"
    "LINK 2\n"
    "BREAKPOINT\n"
    "NODES 3\n"
    "DX 10\n"
    "MANNINGS_N 0.04\n"
    "NODE 1\n"
    "ELEV 9.5\n"
    "NPAIRS 4\n"
    "NUM_INTERP 10\n"
    "X1 0 1\n"
    "X1 1 0\n"
    "X1 2 0\n"
    "X1 3 1\n"
    "NODE 2\n"
    "ELEV 9.45\n"
    "NODE 3\n"
    "ELEV 9.4\n";

// The stream cells of the middle column, north to south (cells 2, 5 and 8).
inline const char* kSmallGridStream =
    "GRIDSTREAMFILE\n"
    "STREAMCELLS 3\n"
    "CELLIJ 1 2\n"
    "NUMNODES 2\n"
    "LINKNODE 1 1 1.0\n"
    "LINKNODE 1 2 0.5\n"
    "CELLIJ 2 2\n"
    "NUMNODES 2\n"
    "LINKNODE 1 2 0.5\n"
    "LINKNODE 2 1 1.0\n"
    "CELLIJ 3 2\n"
    "NUMNODES 2\n"
    "LINKNODE 2 2 1.0\n"
    "LINKNODE 2 3 1.0\n";

// The text with each `from` (a whole line, without its newline) replaced by
// `to` (several lines may be given, joined by newlines; "" removes the line).
inline std::string edited(std::string text,
                          const std::vector<std::pair<std::string, std::string>>& edits) {
    for (const auto& [from, to] : edits) {
        // A whole line: at the start of the text or after a newline.
        const std::string line = from + "\n";
        std::size_t at = 0;
        if (text.rfind(line, 0) != 0) {
            at = text.find("\n" + line);
            if (at == std::string::npos)
                return "line not in the file: " + from;
            ++at;
        }
        text.replace(at, line.size(), to.empty() ? "" : to + "\n");
    }
    return text;
}

}  // namespace torva::test
