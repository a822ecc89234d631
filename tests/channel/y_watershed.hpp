#pragma once
// The 5 x 5 watershed of 20 m cells (10,000 m2) drained by a Y of streams,
// run end to end by the channel tests. The ground falls 0.3 m a row to the
// south and rises 0.1 m a column away from the streams: columns 2 and 4 in
// the two northern rows, column 3 below. Link 1 stands in the north-west
// (the western branch, or a lake in its place) and drains over a weir,
// structure link 2 (2 m long, C = 1), into the stem, link 4, which runs down
// column 3 from row 3 to the outlet cell (row 5); the eastern branch, link 3,
// joins it freely. Every bed lies 0.5 m below its cell's ground: 10.7 and
// 10.4 m in the branches, 10.1, 9.8 and 9.5 m in the stem.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "support/harness.hpp"

namespace torva::test::y_watershed {

inline double ground(int row, int col) {
    const int from_stream =
        row <= 2 ? std::min(std::abs(col - 2), std::abs(col - 4)) : std::abs(col - 3);
    return 10.0 + 0.3 * (5 - row) + 0.1 * from_stream;
}

// A branch of two nodes 20 m apart, one per cell of the two northern rows.
inline const std::string kBranch =
    "TRAPEZOID\nNODES 2\nDX 20\nMANNINGS_N 0.035\nNODE 1\nELEV 10.7\nXSEC\nBOTTOM_WIDTH 1.0\n"
    "BANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\nNODE 2\nELEV 10.4\n";

// The channel input file with link 1 as given (its cards after "LINK 1")
// and the weir's crest at `crest` m.
inline std::string channels(const std::string& link_1, const std::string& crest) {
    return "TORVA_CHAN\nALPHA 1.0\nBETA 0.6\nTHETA 0.7\nLINKS 4\nMAXNODES 3\n"
           "CONNECT 1 2 0\nCONNECT 2 4 1 1\nCONNECT 3 4 0\nCONNECT 4 0 2 2 3\nLINK 1\n" +
           link_1 +
           "LINK 2\nSTRUCTURE\nNODES 2\nDX 1\nMANNINGS_N 0.035\nNUMSTRUCTS 1\n"
           "STRUCTTYPE weir\nCREST_LENGTH 2.0\nCREST_LOW_ELEV " +
           crest + "\nDISCHARGE_COEFF_FORWARD 1.0\nDISCHARGE_COEFF_REVERSE 1.0\nLINK 3\n" +
           kBranch +
           "LINK 4\nTRAPEZOID\nNODES 3\nDX 20\nMANNINGS_N 0.035\n"
           "NODE 1\nELEV 10.1\nXSEC\nBOTTOM_WIDTH 1.0\nBANKFULL_DEPTH 0.5\nSIDE_SLOPE 1.0\n"
           "NODE 2\nELEV 9.8\nNODE 3\nELEV 9.5\n";
}

// The grid-stream file, one node per cell; a lake in link 1's place has no
// stream cells of its own.
inline std::string stream_cells(bool western_branch) {
    return std::string("GRIDSTREAMFILE\nSTREAMCELLS ") + (western_branch ? "7\n" : "5\n") +
           (western_branch ? "CELLIJ 1 2\nNUMNODES 1\nLINKNODE 1 1 1.0\n"
                             "CELLIJ 2 2\nNUMNODES 1\nLINKNODE 1 2 1.0\n"
                           : "") +
           "CELLIJ 1 4\nNUMNODES 1\nLINKNODE 3 1 1.0\nCELLIJ 2 4\nNUMNODES 1\nLINKNODE 3 2 1.0\n"
           "CELLIJ 3 3\nNUMNODES 1\nLINKNODE 4 1 1.0\nCELLIJ 4 3\nNUMNODES 1\nLINKNODE 4 2 1.0\n"
           "CELLIJ 5 3\nNUMNODES 1\nLINKNODE 4 3 1.0\n";
}

// A run of the project and the same run in two halves, the second continued
// from the overland and channel hot starts of the first. At 60 s steps a run
// of TOT_TIME 28 takes 30 steps, half of the whole run's 60; the rain lasts
// 28 minutes, all of it in the first half, and a gauge that records no rain
// starts the second half at 10:30. `run` runs the project in a folder with
// its cards edited and gives its summary.
struct HotStartHalves {
    TempDir whole, first, second;
    std::string whole_summary, first_summary, summary;

    explicit HotStartHalves(
        const std::function<std::string(const TempDir&, const std::string&)>& run) {
        const std::string writes =
            "TIMESTEP 60\nRAIN_DURATION 28\nWRITE_OV_HOTSTART end.ohot\n"
            "WRITE_CHAN_HOTSTART end.chot\n";
        whole_summary = run(whole, writes + "TOT_TIME 58\n");
        first_summary = run(first, writes + "TOT_TIME 28\n");
        second.write("dry.gag",
                     "EVENT \"dry\"\nNRGAG 1\nNRPDS 2\nCOORD 50 -50\nGAGES 2020 6 1 10 30 0.0\n"
                     "GAGES 2020 6 1 11 0 0.0\n");
        summary = run(second, writes +
                                  "TOT_TIME 28\n-PRECIP_UNIF\n-RAIN_INTENSITY\n-RAIN_DURATION\n"
                                  "PRECIP_FILE dry.gag\nREAD_OV_HOTSTART " +
                                  first.file("end.ohot") + "\nREAD_CHAN_HOTSTART " +
                                  first.file("end.chot") + "\n");
    }
};

}  // namespace torva::test::y_watershed
