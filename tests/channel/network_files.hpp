#pragma once
// A small channel network on the 3 x 3 test watershed (cells 10 m, the middle
// column lowest): link 1 trapezoidal with 2 nodes drains into link 2, a
// break-point link of 3 nodes and the outlet link. Tests edit its lines.

#include <string>
#include <utility>
#include <vector>

namespace torva::test {

inline const char* kSmallNetwork =
    "TORVA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.7\nLINKS 2\nMAXNODES 3\n"
    "CONNECT 1 2 0\nCONNECT 2 0 1 1\n"
    "LINK 1\nTRAPEZOID\nNODES 2\nDX 10\nMANNINGS_N 0.035\n"
    "NODE 1\nELEV 9.6\nXSEC\nBOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\n"
    "NODE 2\nELEV 9.55\n"
    "LINK 2\nBREAKPOINT\nNODES 3\nDX 10\nMANNINGS_N 0.04\n"
    "NODE 1\nELEV 9.5\nNPAIRS 4\nNUM_INTERP 10\nX1 0 1\nX1 1 0\nX1 2 0\nX1 3 1\n"
    "NODE 2\nELEV 9.45\n"
    "NODE 3\nELEV 9.4\n";

// The stream cells of the middle column, north to south (cells 2, 5 and 8).
inline const char* kSmallGridStream =
    "GRIDSTREAMFILE\nSTREAMCELLS 3\n"
    "CELLIJ 1 2\nNUMNODES 2\nLINKNODE 1 1 1.0\nLINKNODE 1 2 0.5\n"
    "CELLIJ 2 2\nNUMNODES 2\nLINKNODE 1 2 0.5\nLINKNODE 2 1 1.0\n"
    "CELLIJ 3 2\nNUMNODES 2\nLINKNODE 2 2 1.0\nLINKNODE 2 3 1.0\n";

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
