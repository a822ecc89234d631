#include "input/replace.hpp"

#include <gtest/gtest.h>

#include <string>

#include "input/project.hpp"
#include "input/tokens.hpp"
#include "input_fixture.hpp"

namespace torva {
namespace {

// Replacement values met through the shared line reader, as every input
// reader meets them.
class ReplacementTest : public testing::InputTest {
  protected:
    // Each line of the file as the shared line reader returns it.
    std::string read_through_line_reader(const std::string& text) {
        const std::string path = write("input.txt", text);
        std::FILE* file = std::fopen(path.c_str(), "r");
        LineReader reader(file, ctx_);
        std::string line, all;
        while (reader.next(line)) all += line + "\n";
        std::fclose(file);
        return all;
    }

    void declare_and_load(const std::string& parameters, const std::string& values) {
        ASSERT_EQ(read_replacement_parameters(ctx_, write("params.txt", parameters)), 0)
            << console();
        ASSERT_EQ(read_replacement_values(ctx_, write("values.txt", values)), 0) << console();
    }
};

TEST_F(ReplacementTest, DeclaredRealTagIsPrintedWithItsFormatInAReadLine) {
    declare_and_load("1\n[KSAT] \"%5.3lf\"\n", "2.5\n");
    EXPECT_EQ(read_through_line_reader("1  0.035  0.4  [KSAT]\n"), "1  0.035  0.4  2.500\n");
    EXPECT_EQ(ctx_.replacement.count, 1);
    EXPECT_TRUE(ctx_.replacement.parameters[0].used);
    EXPECT_EQ(console(), "");
}

TEST_F(ReplacementTest, LastOfTheLettersDFSDecidesTheKind) {
    declare_and_load(
        "3\n"
        "some words before [CELLS] %d\n"
        "[KSAT] \"%4.2lf\"\n"
        "[NAME] %s\n",
        "7, 3.14159 \"two words\"\n");
    ASSERT_EQ(ctx_.replacement.parameters.size(), 3u);
    using Kind = ReplacementParameter::Kind;
    EXPECT_EQ(ctx_.replacement.parameters[0].kind, Kind::integer);
    EXPECT_EQ(ctx_.replacement.parameters[1].kind, Kind::real);
    EXPECT_EQ(ctx_.replacement.parameters[2].kind, Kind::text);
    EXPECT_EQ(read_through_line_reader("[CELLS] [KSAT] \"[NAME]\"\n"), "7 3.14 \"two words\"\n");
    EXPECT_EQ(ctx_.replacement.count, 3);
}

TEST_F(ReplacementTest, FormatWithoutAConversionOfItsKindIsRefused) {
    // Only the valid declarations survive; the others would print garbage or
    // read arguments that are not there.
    ASSERT_EQ(read_replacement_parameters(ctx_, write("params.txt",
                                                      "6\n"
                                                      "[A] \"%g\"\n"
                                                      "[B] \"%s%s\"\n"
                                                      "[C] \"%*d\"\n"
                                                      "[D] \"%e days\"\n"
                                                      "[E] \"%ld\"\n"
                                                      "[F] \"%Lf\"\n")),
              -1);
    const std::string hint =
        "---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n";
    EXPECT_EQ(
        console(),
        "Error: Improperly formatted line in the replacement parameter file\nline:[A] \"%g\"\n" +
            hint +
            "Error: Improperly formatted line in the replacement parameter file\nline:[B] "
            "\"%s%s\"\n" +
            hint +
            "Error: Improperly formatted line in the replacement parameter file\nline:[C] "
            "\"%*d\"\n" +
            hint +
            "Error: Improperly formatted line in the replacement parameter file\nline:[D] "
            "\"%e days\"\n" +
            hint);
    ASSERT_EQ(ctx_.replacement.parameters.size(), 2u);
    ASSERT_EQ(read_replacement_values(ctx_, write("values.txt", "-42 0.5\n")), 0);
    // Length modifiers are the user's habit, not a promise about the argument.
    EXPECT_EQ(read_through_line_reader("[E] [F]\n"), "-42 0.500000\n");
}

// A tag matches whole, closing bracket and all: [KS] is no start of [KSAT].
TEST_F(ReplacementTest, TagDeclaredFirstWinsOverALongerTagItBegins) {
    declare_and_load("3\n[KS] %d\n[KS]X] %d\n[KSAT] %d\n", "1 2 3\n");
    EXPECT_EQ(read_through_line_reader("[KS]X] [KSAT]\n"), "1X] 3\n");
    EXPECT_TRUE(ctx_.replacement.parameters[0].used);
    EXPECT_FALSE(ctx_.replacement.parameters[1].used);
}

TEST_F(ReplacementTest, ValueLineIsChosenByReplaceLineCard) {
    const std::string params = write("params.txt", "2\n[A] %d\n[B] %s\n");
    const std::string values = write("values.txt", "1 one\n2 two\n3 three\n4 four\n");
    ProjectSettings settings;
    set_project_defaults(settings);
    ASSERT_TRUE(perform_card_line(settings, ctx_, "REPLACE_PARAMS " + params));
    ASSERT_TRUE(perform_card_line(settings, ctx_, "REPLACE_LINE 3"));
    ASSERT_TRUE(perform_card_line(settings, ctx_, "REPLACE_VALS \"" + values + "\""));
    EXPECT_TRUE(ctx_.replacement.active);
    EXPECT_EQ(read_through_line_reader("[A]-[B]\n"), "3-three\n");
}

TEST_F(ReplacementTest, MissingValuesReadAsZeroOrEmptyText) {
    declare_and_load("3\n[A] %d\n[B] %5.1lf\n[C] %s\n", "8\n");
    EXPECT_EQ(read_through_line_reader("<[A]|[B]|[C]>\n"), "<8|  0.0|>\n");
}

TEST_F(ReplacementTest, ValueHoldingATagIsReplacedInTurn) {
    declare_and_load("2\n[OUTER] %s\n[INNER] %d\n", "\"x[INNER]y\" 5\n");
    EXPECT_EQ(read_through_line_reader("a[OUTER]b\n"), "ax5yb\n");
    EXPECT_EQ(ctx_.replacement.count, 2);
}

TEST_F(ReplacementTest, BracketThatStartsNoTagPrintsTheLineAndLeavesItUnchanged) {
    declare_and_load("1\n[A] %d\n", "4\n");
    EXPECT_EQ(read_through_line_reader("# comment [not a tag] and [other] then [A]\n"),
              "# comment [not a tag] and [other] then 4\n");
    EXPECT_EQ(console(),
              "Error: unable to match replace pair: # comment [not a tag] and [other] then [A]\n"
              "Error: unable to match replace pair: # comment [not a tag] and [other] then [A]\n");
}

TEST_F(ReplacementTest, RewrittenLineThatWouldNotFitTheBufferIsRefused) {
    declare_and_load("1\n[V] %s\n", "0123456789\n");
    const std::string near_full(LineReader::kBufferSize - 1 - 5, 'x');
    EXPECT_EQ(read_through_line_reader(near_full + "[V]\n"), near_full + "[V]\n");
    EXPECT_EQ(console(),
              "Error: a replacement value would make this line longer than 19999 characters; the "
              "line is left as it is:\n" +
                  near_full + "[V]\n");
    EXPECT_EQ(ctx_.error.code, err::message_printed);
    EXPECT_EQ(ctx_.replacement.count, 0);
}

TEST_F(ReplacementTest, ValueThatHoldsItsOwnTagIsRefusedInsteadOfGrowingWithoutEnd) {
    declare_and_load("2\n[R] %s\n[S] %s\n", "\"r[S]\" \"s[R]\"\n");
    EXPECT_EQ(read_through_line_reader("a [R] b\n"), "a rs[R] b\n");
    EXPECT_EQ(console(),
              "Error: the value of replacement tag [R] holds the tag again, so it would be "
              "replaced without end:\na rs[R] b\n");
    EXPECT_EQ(ctx_.error.code, err::message_printed);
}

TEST_F(ReplacementTest, TagThatReachesPastAValueIsNoNesting) {
    // The value "x[" and the text after it form the tag again: each turn uses
    // up text of the line, so the replacing ends by itself.
    declare_and_load("1\n[A] %s\n", "x[\n");
    EXPECT_EQ(read_through_line_reader("[A]A]A]!\n"), "xxx[!\n");
    EXPECT_EQ(console(), "Error: unable to match replace pair: xxx[!\n");
    EXPECT_FALSE(ctx_.error.pending());
}

TEST_F(ReplacementTest, ParameterFileErrorsAreReportedAndGoodLinesStayDeclared) {
    const std::string too_long_tag = "[" + std::string(26, 'T') + "]";
    const std::string long_enough_tag = "[" + std::string(25, 'T') + "]";
    EXPECT_EQ(read_replacement_parameters(ctx_, write("params.txt",
                                                      "6\n"
                                                      "no brackets %d\n"
                                                      "[A] %d\n" +
                                                          too_long_tag + " %d\n" + long_enough_tag +
                                                          " %d\n"
                                                          "[B] \"%012345.12lf\"\n")),
              -1);
    EXPECT_EQ(
        console(),
        "Error: Improperly formatted line in the replacement parameter file\nline:no brackets "
        "%d\n"
        "Error: the tag " +
            too_long_tag +
            " in the replacement parameter file is longer than 27 characters\n"
            "Error: the format %012345.12lf of the tag [B] in the replacement parameter file is "
            "longer than 11 characters\n"
            "Error: unexpected end of parameter list file after 5 parameters. Expecting 6\n");
    ASSERT_EQ(ctx_.replacement.parameters.size(), 2u);
    EXPECT_EQ(ctx_.replacement.parameters[0].tag, "[A]");
    EXPECT_EQ(ctx_.replacement.parameters[1].tag, long_enough_tag);

    EXPECT_EQ(read_replacement_parameters(ctx_, write("count.txt", "many\n[C] %d\n")), -1);
    EXPECT_EQ(read_replacement_parameters(ctx_, path("absent.txt")), -1);
    EXPECT_EQ(console(),
              "Error: unable to read the number of parameters in the parameter list file\n"
              "Error: unable to open the replace parameter file.\n");
    EXPECT_FALSE(ctx_.error.pending());
}

TEST_F(ReplacementTest, ValueFileThatCannotBeOpenedLeavesReplacementAsItWas) {
    ASSERT_EQ(read_replacement_parameters(ctx_, write("params.txt", "1\n[A] %d\n")), 0);
    const std::string absent = path("absent.txt");
    EXPECT_EQ(read_replacement_values(ctx_, absent), -1);
    EXPECT_EQ(console(), "Error: unable to open the value file " + absent);
    EXPECT_FALSE(ctx_.replacement.active);
    EXPECT_FALSE(ctx_.error.pending());
}

TEST_F(ReplacementTest, RunWhoseValueLineIsMissingStops) {
    // A batch longer than the value file would otherwise run with stale values.
    ASSERT_EQ(read_replacement_parameters(ctx_, write("params.txt", "1\n[A] %d\n")), 0);
    const std::string values = write("values.txt", "1\n2\n");
    ctx_.replace_line = 2;
    EXPECT_EQ(read_replacement_values(ctx_, values), -1);
    EXPECT_EQ(console(), "Error: the value file " + values + " has no line 3\n");
    EXPECT_EQ(ctx_.error.code, err::message_printed);
    EXPECT_FALSE(ctx_.replacement.active);
}

TEST_F(ReplacementTest, ReplaceLineBelowOneFindsNoValueLine) {
    const std::string values = write("values.txt", "1\n");
    ProjectSettings settings;
    set_project_defaults(settings);
    for (const char* card : {"REPLACE_LINE 0", "REPLACE_LINE -2147483648"}) {
        ASSERT_TRUE(perform_card_line(settings, ctx_, card));
        EXPECT_EQ(read_replacement_values(ctx_, values), -1);
        EXPECT_EQ(console().rfind("Error: the value file " + values + " has no line ", 0), 0u);
        EXPECT_FALSE(ctx_.replacement.active);
    }
}

TEST_F(ReplacementTest, ValuesWithoutDeclaredParametersStillActivateReplacement) {
    ASSERT_EQ(read_replacement_values(ctx_, write("values.txt", "1 2 3\n")), 0);
    EXPECT_TRUE(ctx_.replacement.active);
    // Every '[' now meets no tag.
    EXPECT_EQ(read_through_line_reader("a[b]\n"), "a[b]\n");
    EXPECT_EQ(console(), "Error: unable to match replace pair: a[b]\n");
}

TEST_F(ReplacementTest, ReportsListValuesAndUseInSummaryAndConsole) {
    declare_and_load("3\n[KSAT] %5.3lf\n[N] %d\n[UNUSED_TAG_NAME] %s\n", "2.5 12 \"file a.txt\"\n");
    read_through_line_reader("[KSAT] [N] [KSAT]\n");
    ctx_.summary = std::tmpfile();
    report_replacement_values(ctx_);
    report_replacement_use(ctx_);
    const std::string expected =
        "\nUsing replacement values:\n"
        "  [KSAT]         = 2.500\n"
        "  [N]            = 12\n"
        "  [UNUSED_TAG_NAME] = file a.txt\n"
        "\n"
        "\nTotal times a value was replaced: 3\n\n"
        "\nWas replacement value used?:\n"
        "  [KSAT]         = Yes\n"
        "  [N]            = Yes\n"
        "  [UNUSED_TAG_NAME] = No\n"
        "\n";
    EXPECT_EQ(console(), expected);
    EXPECT_EQ(contents(ctx_.summary), expected);
}

TEST_F(ReplacementTest, LoadingValuesAgainClearsUseAndCount) {
    declare_and_load("1\n[A] %d\n", "1\n2\n");
    read_through_line_reader("[A]\n");
    ASSERT_EQ(ctx_.replacement.count, 1);
    ctx_.replace_line = 1;
    ASSERT_EQ(read_replacement_values(ctx_, write("values.txt", "1\n2\n")), 0);
    EXPECT_EQ(ctx_.replacement.count, 0);
    EXPECT_FALSE(ctx_.replacement.parameters[0].used);
    EXPECT_EQ(read_through_line_reader("[A]\n"), "2\n");
}

TEST_F(ReplacementTest, InactiveReplacementLeavesLinesAlone) {
    ASSERT_EQ(read_replacement_parameters(ctx_, write("params.txt", "1\n[A] %d\n")), 0);
    EXPECT_EQ(read_through_line_reader("x [A] [B]\n"), "x [A] [B]\n");
    EXPECT_EQ(console(), "");
}

}  // namespace
}  // namespace torva
