// Every channel network the set-up refuses, run end to end from a small
// project: the message, exit status 1, and nothing of the run after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "channel/network_files.hpp"
#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

// A case edits lines of the channel input file or of the grid-stream file,
// each "FROM => TO" (FROM a whole line as it stands; TO may be several lines,
// or none to remove the line), edits parted by " | ".
struct Case {
    std::string edits;
    std::string message;  // the console after the channel summary (or after the reading line)
    int code = 4000;      // the error raised; other codes print their message in the report
    std::string cards = "STREAM_CELL chan.gst\n";  // further project cards
    std::string notes = "";                        // what the refusal adds after the report
};

// The console of the run after the channel summary, or after the line that
// starts the channel reading when the summary is not reached.
std::string after_channel_start(const std::string& console) {
    for (const char* marker : {"  number of groundwater links:           0\n",
                               "reading channel input data from file chan.txt\n"}) {
        const std::size_t at = console.find(marker);
        if (at != std::string::npos)
            return console.substr(at + std::string(marker).size());
    }
    return "channel reading not reached:\n" + console;
}

const std::string kProgress =
    "Reading and interpolating break-point cross-sections .\n"
    "Finished reading non-orthogonal channel information from gst file.\n";
const std::string kRead = kProgress.substr(0, 55);
const std::string kEnd = "Run time: T(s) \n";
const std::string kPrefix = "Error in the channel input file chan.txt, ";
const std::string kGstPrefix = kRead + "Error in the grid-stream file chan.gst, ";
const std::string kHotstart = "STREAM_CELL chan.gst\nREAD_CHAN_HOTSTART ";
// One structure of the kind on link 1.
std::string structure(const std::string& kind) {
    return "DX 10 => DX 10\nNUMSTRUCTS 1 | ELEV 9.55 => ELEV 9.55\nSTRUCTTYPE " + kind;
}

std::vector<Case> cases() {
    return {
        {"TORVA_CHAN => CHANNEL",
         "Error: The channel input file chan.txt does not begin with TORVA_CHAN.\n"
         "Its first line must be the word TORVA_CHAN, followed by the header cards ALPHA, BETA, "
         "THETA, LINKS and MAXNODES.\nProgram terminated in read_chan_input.\n"},
        {"MAXNODES 3 =>  | ALPHA 1.0 => DX 10",
         "Premature end-of-file in the channel input file.\n"
         "The channel input file does not contain all the required parameter cards.\n"
         "These include: ALPHA, BETA, THETA, DX, LINKS, and MAXNODES.\n"
         "Repair your channel input file and try again.  These cards must appear at\n"
         "The beginning of the file before and COORD or LINK cards.\n"
         "Program terminated in read_chan_input.\n"},
        {"MANNINGS_N 0.04 => MANNINGS_N 0",
         "Error encountered when reading the channel input file, link 2:\n"
         "    Manning's Roughness is 0.000\n"},
        {"DX 10 => DX 10\nNUMSTRUCTS 2",
         "\nThe sum of NUMSTRUCTS arguments is 2, while the total number\n"
         "of hydraulic structure element cards (e.g. WEIR, ROUND_CULVERT,\n"
         "etc.) is 0.  This inconstency is intolerable.  Check your channel\n"
         "input file.  Program terminated.\n"},
        {"CONNECT 2 0 1 1 => CONNECT 2 0 21 1",
         "Whoa there pardner!  You mean to tell me that you have more than 20\n"
         "channels flowing into one point?  How can that be?  I reckon that you\n"
         "or that new-fangled interface your a usin' have made a serious mistake.\n"
         "OR maybe you are trying to use this here model to simulate the runoff\n"
         "into the Great Lakes!.  In either case, I ain't gonna let you do it.\n"
         "Program terminated because the maximum number of upstream dependencies\n"
         "in the read_chan_input subroutine was equal to 21, which is, frankly, a\n"
         "reediculous number.  Fifteen yard penalty from the spot of the foul.\n"},
        {"CONNECT 1 2 0 => ",
         "Your channel input file contains 2 links, and 1 CONNECT cards\n"
         "These two numbers must be equal.  Therefore, you have a major \n"
         "problem with your channel input file.  TORVA cannot proceed.\n"
         "Fifteen yard penalty from the line of scrimmage.\n"
         "program terminated.\n"},
        {structure("rating_curve"),
         "\nError: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE "
         "\"elev series name\"\nThe elevation series is missing\n",
         85},
        {structure("RATING_CURVE up"),
         "\nError: The elevation series for a RATING_CURVE card is not found. Make sure that the "
         "elevation series\n file is in the project file before the channel input file and that "
         "the elevation series is defined.",
         86},
        {structure("scheduled_release"),
         "\nError: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE "
         "SCHEDULED_RELEASE \"time series name\"\nThe time series is missing\n",
         87},
        {structure("scheduled_release gates"),
         "\nError: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the "
         "time series\n file is in the project file before the channel input file and that the "
         "time series is defined.",
         88},
        {structure("rule_curve"),
         "\nError: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE "
         "\"elev series name\"\nThe elevation series is missing\n",
         89},
        {structure("rule_curve x"),
         "\nError: The elevation series for a RULE_CURVE card is not found. Make sure that the "
         "elevation series\n file is in the project file before the channel input file and that "
         "the elevation series is defined.",
         90},
        {"ELEV 9.55 => ELEV 9.55\nPUMPTO 2 1 elev curve",
         "\n\nError in the channel input file: Flow type for pump is incorrectly\n"
         "defined for link 1. Must be ELEV or TS.\n"},
        {"XSEC => ", "Error: Cross section parameters not found for link 1.\n"},
        {"NPAIRS 4 => NPAIRS 3",
         "\n\nError: There are more X1 cards than the NPAIRS card specifies \n"
         "for table 1 in link 2.\n"},
        {"NPAIRS 4 => NPAIRS 5",
         "\n\nError: There are fewer X1 cards than the NPAIRS card specifies \n"
         "for table 1 in link 2.\n"},
        {"NUM_INTERP 10 => ",
         "Error: the number of interpolation points has not been specifiedfor any table. Each "
         "break-point cross-section table should have a NUM_INTERP ### card below the NPAIRS "
         "card\n"},
        {"NUM_INTERP 10 => NUM_INTERP 0 | ELEV 9.4 => ELEV 9.4\nNPAIRS 2\nNUM_INTERP 5\nX1 0 1\n"
         "X1 1 0",
         "Reading and interpolating break-point cross-sections \n\nError: The number of "
         "interpolation points [0] for table 1 in link 2 is invalid. (Range is 1-30000.) \n"},
        {"NUM_INTERP 10 => NUM_INTERP 1 | X1 3 1 => X1 3 1.5",
         "Reading and interpolating break-point cross-sections Error: The interpolation distance "
         "[1.50000] produced by the number of interpolation points [1]\nfor table 1 in link 2 is "
         "invalid. (Range is 0.0001 to 1.0)\n"},
        {"NPAIRS 4 =>  | NUM_INTERP 10 =>  | X1 0 1 =>  | X1 1 0 =>  | X1 2 0 =>  | X1 3 1 => ",
         "Error: Break-point cross-section not found for link 2.\n"},
        {"STREAMCELLS 3 => CELLS 3",
         kRead + "The second card in the grid-stream file must be STREAMCELLS\n"
                 "File format error, program terminating.\n"},
        {"STREAMCELLS 3 => STREAMCELLS 0",
         kRead + "The number of STREAMCELLS in the grid-stream (.gst) file\n"
                 "must be greater than 0.  File format error, program terminating\n"},
        {"DX 10 => DX 0.00001", kProgress + "\nYour channel node spacing is 0.000010 in link 1\n"
                                            "You must specify a realistic value.  Program "
                                            "terminated.\n"},
        {"", kProgress + "Can't open channel hotstart file named cold.txt\n", 4000,
         kHotstart + "cold.txt\n",
         "Note: paths are relative to the folder the program runs in, DIR; from there these "
         "files are not found:\n  cold.txt (the input file of card READ_CHAN_HOTSTART)\n"},
        {"",
         kProgress + "Error in the channel hotstart file hot.txt, line 2: \"2 1 0.5\" is no "
                     "line of node, link, depth of 0 or more, and discharge.\n",
         4000, kHotstart + "hot.txt\n"},
        {"ELEV 9.55 => ELEV 9.55\nPOINTSOURCE spring",
         "Error: The time series \"spring\" of the POINTSOURCE card at link 1, node 2 is not "
         "found. Make sure that the time series\n file is in the project file before the channel "
         "input file and that the series is defined.\n"},
        {"SIDE_SLOPE 1.0 => SIDE_SLOPE 0 | BOTTOM_WIDTH 1.0 => BOTTOM_WIDTH 0",
         "Error: The trapezoidal cross-section of link 1, node 1 has bottom width 0 m, side "
         "slope 0 and bankfull depth 0.5 m.\nNone may be negative, and a section with vertical "
         "banks (side slope 0) needs a bottom width above 0.\n"},
        // What the file could not have meant, refused before it is used.
        {"LINK 2 => LINK 3",
         kPrefix + "line 22: LINK 3 names no link of the network: links are numbered 1 to 2.\n"},
        {"CONNECT 2 0 1 1 => CONNECT 2 0 1 1\nNODES 4",
         kPrefix + "line 9: the NODES card comes before any LINK card.\n"},
        {"ELEV 9.45 => ELEV 9.45m",
         kPrefix + "line 36: the ELEV card needs a number, not \"9.45m\".\n"},
        {"DX 10 => DX nan", kPrefix + "line 12: the DX card needs a number, not \"nan\".\n"},
        {"TRAPEZOID => ",
         kPrefix + "link 1: the link has no type. Give it one of TRAPEZOID, BREAKPOINT, LAKE or "
                   "STRUCTURE, or their subsurface and erodible forms.\n"},
        {"NODES 3 => NODES 4", kPrefix + "link 2: the link has 4 nodes; MAXNODES allows 1 to 3.\n"},
        {"CONNECT 1 2 0 => CONNECT 1 7 0",
         kPrefix + "line 7: link 1 drains to link 7; links are numbered 1 to 2, and 0 marks the "
                   "outlet link.\n"},
        {"CONNECT 2 0 1 1 => CONNECT 2 0 1 0",
         kPrefix + "line 8: link 2 lists upstream link 0; links are numbered 1 to 2, and a link "
                   "cannot drain into itself.\n"},
        {"CONNECT 1 2 0 => CONNECT 2 0 1 1",
         kPrefix + "line 8: link 2 has a second CONNECT card (the first is on line 7); each link "
                   "has exactly one.\n"},
        {"CONNECT 2 0 1 1 => CONNECT 2 1 1 1",
         kPrefix + "link 2: the outlet link drains to link 1; the last link is the outlet link "
                   "and drains to 0.\n"},
        {"CONNECT 2 0 1 1 => CONNECT 2 0 0",
         kPrefix + "link 1: the link drains to link 2, whose CONNECT card does not list it among "
                   "its upstream links.\n"},
        {"CONNECT 1 2 0 => CONNECT 1 0 0 | CONNECT 2 0 1 1 => CONNECT 2 0 0",
         kPrefix + "link 1: the link does not drain to the outlet link 2: its downstream links "
                   "end at a link that drains to 0.\n"},
        {"NODE 2\nELEV 9.55 => NODE 3\nELEV 9.55",
         kPrefix + "line 20: NODE 3 is not a node of link 1, whose nodes are numbered 1 to 2.\n"},
        {"ELEV 9.45 => ELEV 9.45\nPUMPTO 2 4 TS flow",
         kPrefix + "line 37: the pump pumps to node 4 of link 2, which the network does not "
                   "have.\n"},
        {"ELEV 9.55 => ELEV 9.55\nWIDTH 3",
         kPrefix + "line 22: the WIDTH card comes before any STRUCTTYPE card of link 1.\n"},
        // A pump into a structure with no link below it would lose its water.
        {"BREAKPOINT => STRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE weir | ELEV 9.6 => ELEV 9.6\n"
         "PUMPTO 2 1 TS flow",
         kPrefix + "line 16: the pump at node 1 of link 1 pumps into structure link 2, which has "
                   "no link below it to take the water. Pump into a channel link or a lake.\n"},
        {"TRAPEZOID => LAKE\nMINWSE 9\nINITWSE 10\nMAXWSE 11\nNUMPTS 2\n1 2 4 1",
         kProgress + kPrefix +
             "link 1: lake 1 may flood the cell at row 4, column 1, which lies outside the "
             "watershed mask.\n"},
        // A lake of the network needs its three water surfaces in order and
        // cells to spread over.
        {"TRAPEZOID => LAKE\nMINWSE 9\nINITWSE 10\nNUMPTS 1\n1 2",
         kProgress + kPrefix +
             "link 1: lake 1 has no MAXWSE card; a lake needs its minimum, initial and maximum "
             "water surfaces (MINWSE, INITWSE, MAXWSE).\n"},
        {"TRAPEZOID => LAKE\nMINWSE 10.5\nINITWSE 10\nMAXWSE 11\nNUMPTS 1\n1 2",
         kProgress + kPrefix +
             "link 1: lake 1 has MINWSE 10.500, INITWSE 10.000 and MAXWSE 11.000; the water "
             "surfaces rise in this order (MINWSE <= INITWSE <= MAXWSE).\n"},
        {"TRAPEZOID => LAKE\nMINWSE 9\nINITWSE 12\nMAXWSE 11\nNUMPTS 1\n1 2",
         kProgress + kPrefix +
             "link 1: lake 1 has MINWSE 9.000, INITWSE 12.000 and MAXWSE 11.000; the water "
             "surfaces rise in this order (MINWSE <= INITWSE <= MAXWSE).\n"},
        {"TRAPEZOID => LAKE\nMINWSE 9\nINITWSE 10\nMAXWSE 11",
         kProgress + kPrefix +
             "link 1: lake 1 has no cells to spread over: give NUMPTS and the row and column of "
             "each cell it may flood, from which its volume finds its water surface.\n"},
        {"TRAPEZOID => LAKE\nMINWSE 9\nINITWSE 10\nMAXWSE 11\nMLAKE 0\nNUMPTS 1\n1 2",
         kProgress + kPrefix +
             "link 1: lake 1 has MLAKE 0; the thickness of its bed lies above 0 m.\n"},
        {"TRAPEZOID => LAKE\nMINWSE 9\nINITWSE 10\nMAXWSE 11\nNUMPTS 3\n1 2 2 2 1 2",
         kProgress + kPrefix +
             "link 1: lake 1 lists the cell at row 1, column 2 twice; each cell counts once in "
             "its area.\n"},
        {structure("weir\nSTRUCTTYPE sluice"),
         kPrefix + "line 24: STRUCTTYPE sluice is no structure kind: weir, sag_weir, "
                   "round_culvert, oval_culvert, rect_culvert, rating_curve, scheduled_release "
                   "or rule_curve.\n"},
        {"ELEV 9.55 => ELEV 9.55\nMINWSE 9",
         kProgress + kPrefix +
             "line 22: the MINWSE card describes a lake, and link 1 is not one.\n"},
        // The grid-stream file.
        {"",
         kRead + "Error: The channel network needs the grid-stream file that places its nodes "
                 "in grid cells.\nName it with the STREAM_CELL card of the project file.\n",
         4000, ""},
        {"GRIDSTREAMFILE => STREAMFILE",
         kGstPrefix + "line 1: the file does not begin with GRIDSTREAMFILE; it is no grid-stream "
                      "file.\n"},
        {"CELLIJ 3 2 => CELLIJ 4 2",
         kGstPrefix + "line 11: stream cell 3 lies at row 4, column 2, outside the watershed "
                      "mask.\n"},
        {"LINKNODE 1 1 1.0 => LINKNODE 3 1 1.0",
         kGstPrefix + "line 5: entry 1 of stream cell 1 (row 1, column 2) names link 3; links "
                      "are numbered 1 to 2.\n"},
        {"LINKNODE 2 3 1.0 => LINKNODE 2 4 1.0",
         kGstPrefix + "line 14: entry 2 of stream cell 3 (row 3, column 2) names node 4 of link "
                      "2, whose nodes are numbered 1 to 3.\n"},
        {"LINKNODE 1 1 1.0 => LINKNODE 1 1 0",
         kGstPrefix + "line 5: entry 1 of stream cell 1 (row 1, column 2) gives the fraction 0; "
                      "the share of a node's length inside a cell lies above 0 and at most 1.\n"},
        {"LINKNODE 2 2 1.0 => LINKNODE 2 2 1.5",
         kGstPrefix + "line 13: entry 1 of stream cell 3 (row 3, column 2) gives the fraction "
                      "1.5; the share of a node's length inside a cell lies above 0 and at most "
                      "1.\n"},
        {"LINKNODE 2 3 1.0 => ",
         kGstPrefix + "line 13: the file ends where LINKNODE link node fraction (entry 2 of "
                      "stream cell 3 (row 3, column 2)) should follow.\n"},
    };
}

TEST(ChannelMessages, EachRefusedNetworkStopsTheRunWithItsMessage) {
    for (const Case& k : cases()) {
        SCOPED_TRACE(k.edits + " " + k.cards);
        std::string channel = test::kSmallNetwork, grid_stream = test::kSmallGridStream;
        for (std::size_t from = 0; from < k.edits.size();) {
            const std::size_t bar = std::min(k.edits.find(" | ", from), k.edits.size());
            const std::string edit = k.edits.substr(from, bar - from);
            const std::size_t arrow = edit.find(" => ");
            const std::pair<std::string, std::string> change{edit.substr(0, arrow),
                                                             edit.substr(arrow + 4)};
            // Each line stands in one of the two files.
            std::string& file =
                channel.find(change.first + "\n") != std::string::npos ? channel : grid_stream;
            file = test::edited(file, {change});
            from = bar + 3;
        }
        test::TempDir dir;
        test::write_small_project(dir, "CHANNEL_INPUT chan.txt\n" + k.cards);
        dir.write("chan.txt", channel);
        dir.write("chan.gst", grid_stream);
        dir.write("hot.txt", "1 1 0.2 0.01\n2 1 0.5\n");
        const test::ProgramRun run = test::run_program_in(dir.path(), {"p.prj"});
        EXPECT_EQ(run.status, 1);
        // The report of code 4000 adds only its empty line.
        const std::string report = k.code == 4000 ? "\n" : "";
        std::string notes = k.notes;
        if (const std::size_t at = notes.find("DIR"); at != std::string::npos)
            notes.replace(at, 3, dir.path().string());
        EXPECT_EQ(after_channel_start(test::normalise(run.out)), k.message + report + notes + kEnd);
    }
}

}  // namespace
}  // namespace torva
