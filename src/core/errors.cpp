#include "core/errors.hpp"

#include <array>
#include <cstdio>

#include "core/context.hpp"

namespace torva {
namespace {

enum class Severity { error, warning };
enum class Arg { none, number1, number2, text1, text2 };

struct Message {
    int code;
    Severity severity;
    const char* text;  // printf-style, %d and %s only
    Arg args[3];       // in the order the message uses them
};

// One entry per code. Reserved codes (raised by no phase) have no entry and,
// like 4000, print nothing but the empty line.
const Message kMessages[] = {
    {3, Severity::error, "Error: The specified project file was not found.\n", {}},
    {4,
     Severity::error,
     "Error: Unable to open %s file.\n  (File: %s)\n",
     {Arg::text1, Arg::text2}},
    {5,
     Severity::error,
     "Error: TORVA not compiled with QDAT, but QDAT file format specified\n"
     "MAP_TYPE 4 asks for QDAT files; give MAP_TYPE 0, 1 or 2 in the project file.\n",
     {}},
    {6,
     Severity::error,
     "Error: You have specified both spatially-varied and uniform Manning roughness\n"
     "using both the ROUGHNESS and MANNING_N project file cards.  Only one of\n"
     "these may be specified.  Select only one option.\n",
     {}},
    {7,
     Severity::error,
     "Error: You have specified both the Penman Montieth and Deardorff\n"
     "evapo-transpiration calculation methods.  Only one may be \n"
     "specified for long-term simulations.  Select only one method.\n",
     {}},
    {8,
     Severity::error,
     "Error: You have specified two of either the Surface Airways, SAMSON, or HMX\n"
     "hydromet. file input type.  Only one file type may be specified for GINT-\n"
     "term simulations.  Select only one method.  Check your project file.\n",
     {}},
    {9,
     Severity::error,
     "Error: You have specified neither the Penman Montieth or Deardorff\n"
     "evapo-transpiration calculation methods.  One method must be \n"
     "specified for long-term simulations.  Select only one method.\n",
     {}},
    {10,
     Severity::error,
     "Error: You have specified both a rain gage file, and uniform rainfall\n"
     "options.  These options are mutually exclusive.  Please select\n"
     "only one option.\n",
     {}},
    {11,
     Severity::error,
     "Error: You have an error in your input due to one of the following:\n\n"
     " - You have not specified a precipitation card in your project file.\n"
     "   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n"
     "   The PRECIP_FILE card must be followed by the name of the precipitation\n"
     "   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n"
     "   and RAIN_INTENSITY cards must also be given, followed by the proper values\n"
     " - You have specified spatially-uniform rainfall with either a zero\n"
     "   rate or duration.  Please check that your rain rate in mm/h or\n"
     "   rain duration in minutes are both non-zero.\n",
     {}},
    {20,
     Severity::error,
     "Error: For long-term simulations, you must specify the redistribution form\n"
     "of the Green and Ampt infiltration equation.  Redistribution requires\n"
     "values of pore distribution index and residual saturation in addition\n"
     "to the 4 standard Green and Ampt parameters (hydraulic conductivity,\n"
     "capillary head, porosity, and initial soil moisture content).\n\n"
     "Change the infiltration option to Green & Ampt with redistribution\n"
     "and specify the 6 required parameters.\n",
     {}},
    {21,
     Severity::error,
     "Error: Albedo values not specified for long term simulation. Check project file.\n",
     {}},
    {22,
     Severity::error,
     "Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n "
     "Check project file.\n",
     {}},
    {23,
     Severity::error,
     "Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n "
     "Check project file.\n",
     {}},
    {24,
     Severity::error,
     "Error: tomatal resistance values not specified for Penman-Montieth long term simulation.\n "
     "Check project file.\n",
     {}},
    {25,
     Severity::error,
     "Error: Wilting point values not specified for Penman-Montieth long term simulation.\n Check "
     "project file.\n",
     {}},
    {26,
     Severity::error,
     "Error: You have specified both Green and Ampt and multi-layered\n"
     "soil infiltration.  Please select only one in the \n"
     "project file.\n",
     {}},
    {27,
     Severity::error,
     "Error: You have specified both redistribution and multi-layered\n"
     "soil infiltration.  Please select only one in the \n"
     "project file. \n",
     {}},
    {28,
     Severity::error,
     "Error: You have specified both Green and Ampt and Richards\n"
     "soil infiltration.  Please select only one in the \n"
     "project file. \n",
     {}},
    {29,
     Severity::error,
     "Error: You have specified both Green and Ampt and Richards\n"
     "soil infiltration.  Please select only one in the \n"
     "project file. \n",
     {}},
    {30,
     Severity::error,
     "Error: You have specified both redistribution and Richards\n"
     "soil infiltration.  Please select only one in the \n"
     "project file. \n",
     {}},
    {31,
     Severity::error,
     "Error: You have specified both Layered Soil and Richards\n"
     "soil infiltration.  Please select only one in the \n"
     "project file. \n",
     {}},
    {32,
     Severity::error,
     "Error: Groundwater cell vertical grid size not specified in project file.\n"
     "If you are simulating the influence of the water table on Richards\n"
     "equation, you must put the AQUIFER_DELTA_Z card in the project file.\n",
     {}},
    {33,
     Severity::error,
     "Error: You have chosen both Green and Ampt and Redististribution\n"
     "Choose one or the other and try again\n",
     {}},
    {34,
     Severity::error,
     "Error: Both the drain and backwater channel initialization methods have been\nselected.  "
     "Only one method may be specified. \n",
     {}},
    {35,
     Severity::error,
     "Error: Preissmann implicit channel routing is not supported by TORVA.\nSelect explicit "
     "channel routing method. \n",
     {}},
    {37,
     Severity::error,
     "Error: Both the explicit and mesh channel routing methods have been\nselected.  Only one "
     "method may be specified.  Program terminated\n",
     {}},
    {38,
     Severity::error,
     "You have specified both spatially-varied and uniform porosity for\n"
     "groundwater soil using both the gw_unif_porosity and gw_porosity_map\n"
     "project file cards. Only one of these may be specified.\n"
     "Select only one option.\n",
     {}},
    {39,
     Severity::warning,
     "Warning: You have specified neither spatially-varied, uniform, or mapping table porosity "
     "for\n"
     "groundwater soil without using both the gw_unif_porosity and\n"
     "gw_porosity_map project file cards. Groundwater porosities will be the.\n"
     "same as those in the last layer of your soil input table.\n",
     {}},
    {40,
     Severity::error,
     "You have specified both spatially-varied and uniform hydraulic\n"
     "conductivity for groundwater soil using both the gw_unif_hycond and\n"
     "gw_hycond_map project file cards. Only one of these may be specified.\n"
     "Select only one option.\n",
     {}},
    {41,
     Severity::warning,
     "Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \n"
     "conductivity for groundwater soil without using both the gw_unif_hycond\n"
     "and gw_hycond_map project file cards. Groundwater hydraulic conductivies \n"
     "will be taken from the soil input table.\n",
     {}},
    {42,
     Severity::error,
     "Error: You have specified both groundwater routing and Sacramento soil moisture\n"
     "accounting.  These two methods are mutually-exclusive.  Use one or the other.\n",
     {}},
    {43,
     Severity::error,
     "Error: You have specified that TORVA is being run within TANVIK, but you did\n"
     "not specify the model(s) that are being co-run.  The present options are:\n"
     "MORREL.  If you want to run with MORREL for instance, you must place the MORREL\n"
     "project file card in the project file. \n",
     {}},
    {44,
     Severity::error,
     "Error: TORVA is running within TANVIK in event mode.  The TANVIK_EVENT_NUM card\n"
     "was placed in the TORVA project file without an argument.  The\n"
     "TANVIK_EVENT_NUM card must be followed by a GINT int argument that specifies\n"
     "the event number to be simulated.  If 'TANVIK_EVENT_NUM 0' is specified,\n"
     "then TORVA writes out all available precip. events into the file named\n"
     "TANVIK_PRECIP.SUM, and terminates.  If the TANVIK_EVENT_NUM argument is greater than\n"
     "0, then that particular event is simulated.  Check the project file. \n",
     {}},
    {45,
     Severity::error,
     "Error: Groundwater simulations in TORVA within the TANVIK environment\n"
     "are not yet supported. \n",
     {}},
    {46,
     Severity::error,
     "Error: You have specified that TORVA is being run with MORREL, but you did\n"
     "not specify that TORVA is being run within the TANVIK environment.\n"
     "TORVA only runs with MORREL in the TANVIK environment.  You must place the\n"
     "TANVIK project file card in the project file, and pay close attention to\n"
     "start-up conditions. (e.g. TANVIK_EVENT_NUM card). \n",
     {}},
    {47,
     Severity::error,
     "Error: Unable to open QDAT data source %s, %s.\n",
     {Arg::text1, Arg::text2}},
    {48,
     Severity::error,
     "Error: Can't open theta location output file: %s\n"
     "You specify the name of the output file which will contain the soil moisture\n"
     "ordinates at the points specified in the file %s\n"
     "This is done by using the OUT_THETA_LOCATION card in the project file.\n",
     {Arg::text2, Arg::text1}},
    {49,
     Severity::error,
     "Error: Can't open concentration location output file: %s\n"
     "You specify the name of the output file which will contain the concentration\n"
     "ordinates at the points specified in the file %s\n"
     "This is done by using the OUT_CON_LOCATION card in the project file.\n",
     {Arg::text1, Arg::text2}},
    {50,
     Severity::error,
     "Error: Can't open depth location output file: %s\n"
     "You specify the name of the output file which will contain the depth\n"
     "ordinates at the points specified in the file %s\n"
     "This is done by using the OUT_DEP_LOCATION card in the project file.\n",
     {Arg::text1, Arg::text2}},
    {51,
     Severity::error,
     "Error: Can't open hydrograph location output file: %s\n"
     "You specify the name of the output file which will contain the hydrograph\n"
     "ordinates at the points specified in the file %s\n"
     "This is done by using the OUT_HYD_LOCATION card in the project file.\n",
     {Arg::text1, Arg::text2}},
    {52,
     Severity::error,
     "Error: Time step is 0 seconds.\n"
     "Give the model step in seconds, more than 0, on the TIMESTEP card of the project file.\n",
     {}},
    {55,
     Severity::warning,
     "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n"
     "Give the HYD_FREQ card (minutes) in the project file to choose the interval.\n",
     {}},
    {56,
     Severity::error,
     "Error: Outlet slope not specified.\n"
     "Give the slope at the outlet, more than 0, on the OUTSLOPE card of the project file.\n",
     {}},
    {57,
     Severity::error,
     "Error: Latitude and longitude of basin centroid required for long-term simulations.\n"
     "Specify these in the project file using keywords 'latitude' and 'longitude'\n",
     {}},
    {58,
     Severity::error,
     "Error: GMT time offset required for long-term simulations.\n"
     "Specify the offset in the project file using keyword 'GMT'\n",
     {}},
    {59, Severity::error, "Error: Can't open output file: %s\n", {Arg::text2}},
    {64, Severity::error, "Unable to open Mapping Table file: %s\n", {Arg::text2}},
    {65, Severity::error, "Unable to open index file %s\n", {Arg::text2}},
    {66,
     Severity::error,
     "Problem reading mapping table file -- no entries found in table %s (NUM_IDS is 0)\n",
     {Arg::text1}},
    {67,
     Severity::error,
     "There is a problem with the wetlands index map.  It contains\n"
     "%d ID's, while the mapping table file contains %d ID's.\n"
     "The index map and mapping table file must have the same number\n"
     "of ID's. \n",
     {Arg::number1, Arg::number2}},
    {68,
     Severity::error,
     "The number of wetland ids specified in the master table file \n"
     "is over 300!  This is highly unusual.  I'm bombing... in a   \n"
     "dazed and confused state.  So many wetlands!\n",
     {}},
    {69,
     Severity::error,
     "Error reading the contaminant transport tables in the mapping table file.\n",
     {}},
    {71,
     Severity::error,
     "Index ID exceeds table limit, file: %s [row %d:col %d]\n",
     {Arg::text2, Arg::number1, Arg::number2}},
    {72, Severity::error, "Incorrect number of rows and columns in map: %s\n", {Arg::text2}},
    {73, Severity::error, "Incorrect number of rows in map: %s\n", {Arg::text2}},
    {74, Severity::error, "Incorrect number of columns in map: %s\n", {Arg::text2}},
    {76, Severity::error, "Error: unable to open the aquatic environment file %s.\n", {Arg::text2}},
    {77,
     Severity::error,
     "Error: The header for the aquatic environment file is invalid or does not match \n the "
     "current version. \n The aquatic environment file specified is: %s\n The header should be : "
     "%s",
     {Arg::text2, Arg::text1}},
    {78,
     Severity::error,
     "Error: An index [%d] in the aquatic environment table is greater than the\nnumber of IDs "
     "specified [%d]\n",
     {Arg::number1, Arg::number2}},
    {79,
     Severity::error,
     "Error: The NUTRIENTS card in the project file must be specified before the %s card\n",
     {Arg::text1}},
    {80, Severity::error, "Error: Unable to open the nutrient file %s\n", {Arg::text2}},
    {81, Severity::error, "Error: Unable to open the overland Aquatic Environment map.\n", {}},
    {84,
     Severity::error,
     "Error: The OV_BOUNDARY card has been specified in the project file but the \n       "
     "OVERLAND_BOUNDARY table was not found...\n",
     {}},
    {85,
     Severity::error,
     "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE \"elev "
     "series name\"\nThe elevation series is missing\n",
     {}},
    {86,
     Severity::error,
     "Error: The elevation series for a RATING_CURVE card is not found. Make sure that the "
     "elevation series\n file is in the project file before the channel input file and that the "
     "elevation series is defined.",
     {}},
    {87,
     Severity::error,
     "Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE "
     "SCHEDULED_RELEASE \"time series name\"\nThe time series is missing\n",
     {}},
    {88,
     Severity::error,
     "Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time "
     "series\n file is in the project file before the channel input file and that the time series "
     "is defined.",
     {}},
    {89,
     Severity::error,
     "Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE \"elev "
     "series name\"\nThe elevation series is missing\n",
     {}},
    {90,
     Severity::error,
     "Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation "
     "series\n file is in the project file before the channel input file and that the elevation "
     "series is defined.",
     {}},
    {91,
     Severity::error,
     "Error: The number of sediments specified in the SEDIMENTS table is %d while the number of "
     "sediments \nspecified in the SED_EROS_PROPS table is %d. The values must match.\n",
     {Arg::number1, Arg::number2}},
    {92,
     Severity::error,
     "Error: Sediment transport specified but sediments table missing in the .cmt file.\n",
     {}},
    {93,
     Severity::error,
     "Error: Unable to read the soil erosion properties table from mapping table file\n",
     {}},
    {95, Severity::warning, "Warning: There are no segments in the Q9 segment map.\n", {}},
    {96,
     Severity::warning,
     "Warning: The TORVA to Q9 internal segment flux option is turned on\nBut there are no "
     "segments in the Q9 segment map or in the link-node to segment file.\n",
     {}},
    {97,
     Severity::error,
     "Error: In the Q9 internal stream flux to segment file, some link/node pairs \nrefer to a "
     "segment of 0 or a segment that is not in the segment map file.\n",
     {}},
    {98,
     Severity::error,
     "Error: Unable to open the Q9 internal flux output file [%s].\n",
     {Arg::text2}},
    {99,
     Severity::error,
     "Too many super-junctions (>1000!) in superlink.  Your network is too large.\n",
     {}},
    {100,
     Severity::error,
     "Too many nodes (>50!) in one link in superlink.  Your network is too large.\n",
     {}},
    {101,
     Severity::error,
     "Too many superlinks (>1000!) in superlink.  Your network is too large.\n",
     {}},
    {102, Severity::error, "Error in creating radar mapping to grid.\n", {}},
    {103,
     Severity::error,
     "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n",
     {}},
    {104,
     Severity::error,
     "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n",
     {}},
    {115, Severity::error, "Unable to open stream map file %s\n", {Arg::text2}},
    {116,
     Severity::error,
     "Stream map file does not use correct header (file: %s)\n",
     {Arg::text2}},
    {117,
     Severity::error,
     "NLINKS or MAXNODES card in stream map file does not match channel input file (file: %s)\n",
     {Arg::text2}},
    {118,
     Severity::error,
     "Error reading data from stream map file. Check to make sure that the correct number of "
     "\ndata points exist for each link. (file: %s)\n",
     {Arg::text2}},
    {119,
     Severity::error,
     "Error: Nutrient constituent to use mapping table for input value but no mapping table exists "
     "(Grid): %s\n",
     {Arg::text1}},
    {120,
     Severity::error,
     "Error: Nutrient constituent to use mapping table for input value but no mapping table exists "
     "(Stream): %s\n",
     {Arg::text1}},
    {122, Severity::error, "no convergence in culvert critical depth routine\n", {}},
    {123, Severity::error, "arch culverts not yet supported in subroutine crit_calc() \n", {}},
    {124, Severity::error, "Root must be bracketed in ZBRENT\n", {}},
    {125, Severity::error, "Error: The number of contaminants is not a positive value.\n", {}},
    {126,
     Severity::error,
     "Error: the mapping table for the groundwater table is not set up correctly. Check index map "
     "file names.\n",
     {}},
    {127,
     Severity::error,
     "Error: Stream head boundary time series (%s) can not be found. Check project file.\n",
     {Arg::text1}},
    {131, Severity::error, "Error: Can't write output file: %s (%s)\n", {Arg::text2, Arg::text1}},
};

const Message* find_message(int code) {
    for (const Message& m : kMessages)
        if (m.code == code)
            return &m;
    return nullptr;
}

// Codes whose message also goes to the summary file once it is open.
bool mirrored_to_summary(int code) {
    return (code >= 5 && code <= 7) || (code >= 38 && code <= 96) || (code >= 98 && code <= 127) ||
           code == 130 || code == err::write_output_file;
}

std::string fill(const Message& m, const ErrorRecord& record) {
    std::string out;
    const Arg* next = m.args;
    for (const char* p = m.text; *p; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
            continue;
        }
        if (next == m.args + 3 || *next == Arg::none)
            break;
        switch (*next++) {
            case Arg::none:
                break;
            case Arg::number1:
                out += std::to_string(record.number1);
                break;
            case Arg::number2:
                out += std::to_string(record.number2);
                break;
            case Arg::text1:
                out += record.text1;
                break;
            case Arg::text2:
                out += record.text2;
                break;
        }
    }
    return out;
}

}  // namespace

void ErrorRecord::raise(int error_code, ErrorArgs args) {
    code = error_code;
    number1 = args.number1;
    number2 = args.number2;
    text1.assign(args.text1.substr(0, 59));
    text2.assign(args.text2.substr(0, 131));
}

bool is_warning(int code) {
    const Message* m = find_message(code);
    return m && m->severity == Severity::warning;
}

std::string error_message(const ErrorRecord& record) {
    const Message* m = find_message(record.code);
    return m ? fill(*m, record) : std::string{};
}

void report_error(RunContext& ctx) {
    ErrorRecord& record = ctx.error;
    if (record.code == 0)
        return;
    const int fatal_before = record.fatal;
    ctx.clear_transient_line();
    if (record.code > 0) {
        ctx.print("\n");
        record.fatal = 1;
    }
    const std::string text = error_message(record);
    if (!text.empty()) {
        std::fputs(text.c_str(), ctx.out);
        if (mirrored_to_summary(record.code))
            ctx.to_summary(text);
    }
    // A warning lets the run go on, but never clears an earlier error.
    if (is_warning(record.code))
        record.fatal = fatal_before;
    else if (record.code > 0)
        record.last_fatal_code = record.code;
    record.code = 0;
}

bool run_must_stop(RunContext& ctx) {
    if (ctx.error.pending())
        report_error(ctx);
    return ctx.error.fatal != 0;
}

void raise_and_report(RunContext& ctx, int code, ErrorArgs args) {
    ctx.error.raise(code, args);
    report_error(ctx);
}

}  // namespace torva
