// The error reporter: messages by code, warnings that let the run go on, and
// the mirroring of messages into the summary file.

#include <gtest/gtest.h>

#include <cstdio>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

// A context whose console and summary file are temporary files.
struct CapturedContext {
    RunContext ctx;
    test::Console capture{ctx};
    CapturedContext() { ctx.summary = std::tmpfile(); }
    ~CapturedContext() { std::fclose(ctx.summary); }
    std::string console() { return capture.text(); }
    std::string summary() { return test::contents(ctx.summary); }
};

TEST(ErrorReporter, WarningPrintsAndLetsTheRunGoOn) {
    CapturedContext c;
    c.ctx.error.raise(55);
    EXPECT_FALSE(run_must_stop(c.ctx));
    const std::string warning =
        "\nWarning: Write hydrograph time step not specified, defaulting to 1 hour.\n"
        "Give the HYD_FREQ card (minutes) in the project file to choose the interval.\n";
    EXPECT_EQ(c.console(), warning);
    EXPECT_EQ(c.ctx.error.code, 0);
    for (int code : {39, 41, 55, 95, 96}) EXPECT_TRUE(is_warning(code)) << code;
    for (int code : {3, 4, 52, 56, 71, 127, 4000}) EXPECT_FALSE(is_warning(code)) << code;
    // A second report finds nothing pending.
    report_error(c.ctx);
    EXPECT_EQ(c.console(), warning);
}

TEST(ErrorReporter, ErrorStopsTheRunAndStaysFatal) {
    CapturedContext c;
    c.ctx.error.raise(52);
    EXPECT_TRUE(run_must_stop(c.ctx));
    EXPECT_EQ(c.console(),
              "\nError: Time step is 0 seconds.\n"
              "Give the model step in seconds, more than 0, on the TIMESTEP card of the project "
              "file.\n");
    EXPECT_EQ(c.ctx.error.last_fatal_code, 52);
    c.ctx.error.raise(55);
    EXPECT_TRUE(run_must_stop(c.ctx)) << "a later warning must not clear an earlier error";
}

TEST(ErrorReporter, OwnMessageCodePrintsOnlyTheEmptyLine) {
    CapturedContext c;
    c.ctx.error.raise(err::message_printed);
    EXPECT_TRUE(run_must_stop(c.ctx));
    EXPECT_EQ(c.console(), "\n");
    c.ctx.error.raise(1);  // reserved: no message, still an error
    EXPECT_TRUE(run_must_stop(c.ctx));
    EXPECT_EQ(c.console(), "\n\n");
}

TEST(ErrorReporter, PlaceholdersFillInTheOrderOfTheMessage) {
    CapturedContext c;
    c.ctx.error.raise(4, {.text1 = "groundwater boundary", .text2 = "gw.bnd"});
    report_error(c.ctx);
    c.ctx.error.raise(71, {.number1 = 12, .number2 = 7, .text2 = "soil.idx"});
    report_error(c.ctx);
    c.ctx.error.raise(48, {.text1 = "theta.loc", .text2 = "theta.out"});
    report_error(c.ctx);
    EXPECT_EQ(c.console(),
              "\nError: Unable to open groundwater boundary file.\n  (File: gw.bnd)\n"
              "\nIndex ID exceeds table limit, file: soil.idx [row 12:col 7]\n"
              "\nError: Can't open theta location output file: theta.out\n"
              "You specify the name of the output file which will contain the soil moisture\n"
              "ordinates at the points specified in the file theta.loc\n"
              "This is done by using the OUT_THETA_LOCATION card in the project file.\n");
}

TEST(ErrorReporter, OnlyTheListedCodesGoToTheSummaryFile) {
    CapturedContext c;
    c.ctx.error.raise(3);
    report_error(c.ctx);
    c.ctx.error.raise(59, {.text2 = "out.dat"});
    report_error(c.ctx);
    c.ctx.error.raise(39);
    report_error(c.ctx);
    const std::string summary = c.summary();
    EXPECT_EQ(summary.find("project file was not found"), std::string::npos);
    EXPECT_EQ(summary.rfind("Error: Can't open output file: out.dat\n", 0), 0u);
    EXPECT_NE(summary.find("Warning: You have specified neither spatially-varied, uniform"),
              std::string::npos);
    EXPECT_EQ(summary.find("\n\n"), std::string::npos) << "the empty line stays on the console";
}

TEST(ErrorReporter, LongTextsAreCutToTheirFields) {
    ErrorRecord record;
    record.raise(59, {.text2 = std::string(500, 'x')});
    EXPECT_EQ(record.text2.size(), 131u);
    EXPECT_EQ(error_message(record),
              "Error: Can't open output file: " + std::string(131, 'x') + "\n");
}

}  // namespace
}  // namespace torva
