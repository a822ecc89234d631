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

// Lines read through the shared line reader with the declared tags and the
// loaded values: the line returned, the console, the count and the error code.
TEST_F(ReplacementTest, LinesThroughTheLineReaderTakeTheirValues) {
    struct Case {
        const char* what;
        std::string parameters, values, line, read, console;
        int count;
        int code = 0;
    };
    const std::string near_full(LineReader::kBufferSize - 1 - 5, 'x');
    const std::string no_match = "Error: unable to match replace pair: ";
    const std::string comment = "# comment [not a tag] and [other] then [A]";
    const std::vector<Case> cases = {
        {"real with its format", "1\n[KSAT] \"%5.3lf\"\n", "2.5\n", "1  0.035  0.4  [KSAT]",
         "1  0.035  0.4  2.500", "", 1},
        {"the last of d, f, s decides the kind",
         "3\nsome words before [CELLS] %d\n[KSAT] \"%4.2lf\"\n[NAME] %s\n",
         "7, 3.14159 \"two words\"\n", "[CELLS] [KSAT] \"[NAME]\"", "7 3.14 \"two words\"", "", 3},
        // A tag matches whole, closing bracket and all: [KS] is no start of [KSAT].
        {"whole tags, the first declared first", "3\n[KS] %d\n[KS]X] %d\n[KSAT] %d\n", "1 2 3\n",
         "[KS]X] [KSAT]", "1X] 3", "", 2},
        {"missing values read as 0 or empty text", "3\n[A] %d\n[B] %5.1lf\n[C] %s\n", "8\n",
         "<[A]|[B]|[C]>", "<8|  0.0|>", "", 3},
        {"a value holding a tag", "2\n[OUTER] %s\n[INNER] %d\n", "\"x[INNER]y\" 5\n", "a[OUTER]b",
         "ax5yb", "", 2},
        {"brackets of no tag", "1\n[A] %d\n", "4\n", comment,
         "# comment [not a tag] and [other] then 4",
         no_match + comment + "\n" + no_match + comment + "\n", 1},
        {"a line that would not fit", "1\n[V] %s\n", "0123456789\n", near_full + "[V]",
         near_full + "[V]",
         "Error: a replacement value would make this line longer than 19999 characters; the "
         "line is left as it is:\n" +
             near_full + "[V]\n",
         0, err::message_printed},
        {"a value holding its own tag", "2\n[R] %s\n[S] %s\n", "\"r[S]\" \"s[R]\"\n", "a [R] b",
         "a rs[R] b",
         "Error: the value of replacement tag [R] holds the tag again, so it would be "
         "replaced without end:\na rs[R] b\n",
         2, err::message_printed},
        // The value "x[" and the text after it form the tag again: each turn
        // uses up text of the line, so the replacing ends by itself.
        {"a tag reaching past a value", "1\n[A] %s\n", "x[\n", "[A]A]A]!", "xxx[!",
         no_match + "xxx[!\n", 3},
        {"values without parameters", "", "1 2 3\n", "a[b]", "a[b]", no_match + "a[b]\n", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ctx_.replacement = {};
        ctx_.error.clear();
        if (!c.parameters.empty())
            ASSERT_EQ(read_replacement_parameters(ctx_, write("params.txt", c.parameters)), 0);
        ASSERT_EQ(read_replacement_values(ctx_, write("values.txt", c.values)), 0);
        EXPECT_EQ(read_through_line_reader(c.line + "\n"), c.read + "\n");
        EXPECT_EQ(console(), c.console);
        EXPECT_EQ(ctx_.replacement.count, c.count);
        EXPECT_EQ(ctx_.error.code, c.code);
    }
}

// Parameter files with faults: the console, and the tags still declared. A
// format needs one conversion of its kind, or it would print garbage or read
// arguments that are not there; length modifiers are the user's habit, not a
// promise about the argument.
TEST_F(ReplacementTest, ParameterFileFaultsAreReportedAndGoodLinesStayDeclared) {
    const std::string bad = "Error: Improperly formatted line in the replacement parameter file\n";
    const std::string hint =
        "---> The format must be a C-style format in quotes, such as \"%4.2lf\"\n";
    const std::string long_tag = "[" + std::string(26, 'T') + "]";
    const std::string longest_tag = "[" + std::string(25, 'T') + "]";
    const struct {
        std::string file, console;
        std::vector<std::string> tags;
    } cases[] = {
        {"6\n[A] \"%g\"\n[B] \"%s%s\"\n[C] \"%*d\"\n[D] \"%e days\"\n[E] \"%ld\"\n[F] \"%Lf\"\n",
         bad + "line:[A] \"%g\"\n" + hint + bad + "line:[B] \"%s%s\"\n" + hint + bad +
             "line:[C] \"%*d\"\n" + hint + bad + "line:[D] \"%e days\"\n" + hint,
         {"[E]", "[F]"}},
        {"6\nno brackets %d\n[A] %d\n" + long_tag + " %d\n" + longest_tag +
             " %d\n[B] \"%012345.12lf\"\n",
         bad + "line:no brackets %d\nError: the tag " + long_tag +
             " in the replacement parameter file is longer than 27 characters\nError: the format "
             "%012345.12lf of the tag [B] in the replacement parameter file is longer than 11 "
             "characters\nError: unexpected end of parameter list file after 5 parameters. "
             "Expecting 6\n",
         {"[A]", longest_tag}},
        {"many\n[C] %d\n",
         "Error: unable to read the number of parameters in the parameter list file\n",
         {}},
        {"", "Error: unable to open the replace parameter file.\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ctx_.replacement = {};
        const std::string file = c.file.empty() ? path("absent.txt") : write("params.txt", c.file);
        EXPECT_EQ(read_replacement_parameters(ctx_, file), -1);
        EXPECT_EQ(console(), c.console);
        std::vector<std::string> tags;
        for (const auto& p : ctx_.replacement.parameters) tags.push_back(p.tag);
        EXPECT_EQ(tags, c.tags);
        EXPECT_FALSE(ctx_.error.pending());
    }
    ASSERT_EQ(
        read_replacement_parameters(ctx_, write("params.txt", "2\n[E] \"%ld\"\n[F] \"%Lf\"\n")), 0);
    ASSERT_EQ(read_replacement_values(ctx_, write("values.txt", "-42 0.5\n")), 0);
    EXPECT_EQ(read_through_line_reader("[E] [F]\n"), "-42 0.500000\n");
}

// Lines are left alone until values load; the value line is chosen by the
// REPLACE_LINE card, and loading again clears the count. A value file that cannot
// be opened leaves replacement as it was and the run goes on; a run whose value
// line is missing (a batch longer than the value file, a REPLACE_LINE below 1)
// stops rather than run with stale values.
TEST_F(ReplacementTest, ValueLineIsChosenByReplaceLineCardAndMustExist) {
    const std::string params = write("params.txt", "2\n[A] %d\n[B] %s\n");
    std::string values = write("values.txt", "1 one\n2 two\n3 three\n4 four\n");
    ProjectSettings settings;
    set_project_defaults(settings);
    ASSERT_TRUE(perform_card_line(settings, ctx_, "REPLACE_PARAMS " + params));
    EXPECT_EQ(read_through_line_reader("x [A] [B]\n"), "x [A] [B]\n");  // no values yet
    EXPECT_EQ(console(), "");
    ASSERT_TRUE(perform_card_line(settings, ctx_, "REPLACE_LINE 3"));
    ASSERT_TRUE(perform_card_line(settings, ctx_, "REPLACE_VALS \"" + values + "\""));
    EXPECT_TRUE(ctx_.replacement.active);
    EXPECT_EQ(read_through_line_reader("[A]-[B]\n"), "3-three\n");
    // Loading again clears the count and the use.
    ASSERT_EQ(ctx_.replacement.count, 2);
    ctx_.replace_line = 1;
    ASSERT_EQ(read_replacement_values(ctx_, values), 0);
    EXPECT_EQ(ctx_.replacement.count, 0);
    EXPECT_FALSE(ctx_.replacement.parameters[0].used);
    EXPECT_EQ(read_through_line_reader("[A]\n"), "2\n");

    EXPECT_EQ(read_replacement_values(ctx_, path("absent.txt")), -1);
    EXPECT_EQ(console(), "Error: unable to open the value file " + path("absent.txt"));
    EXPECT_FALSE(ctx_.error.pending());
    values = write("values.txt", "1\n2\n");
    ctx_.replacement.active = false;  // a missing line never turns replacement on
    for (const char* card : {"REPLACE_LINE 3", "REPLACE_LINE 0", "REPLACE_LINE -2147483648"}) {
        SCOPED_TRACE(card);
        ctx_.error.clear();
        ASSERT_TRUE(perform_card_line(settings, ctx_, card));
        EXPECT_EQ(read_replacement_values(ctx_, values), -1);
        const std::string out = console();
        EXPECT_EQ(out.rfind("Error: the value file " + values + " has no line ", 0), 0u) << out;
        EXPECT_EQ(ctx_.error.code, err::message_printed);
        EXPECT_FALSE(ctx_.replacement.active);
    }
    ctx_.replace_line = 2;
    read_replacement_values(ctx_, values);
    EXPECT_EQ(console(), "Error: the value file " + values + " has no line 3\n");
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

}  // namespace
}  // namespace torva
