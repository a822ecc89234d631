// The checked output file and the names numbered runs give their outputs.

#include <gtest/gtest.h>

#include "core/context.hpp"
#include "core/output_files.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

TEST(OutputFile, WritesReachTheFileAndCloseSaysSo) {
    test::TempDir dir;
    OutputFile file(dir.file("a.txt"));
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.print("%d %s\n", 7, "rows"));
    EXPECT_TRUE(file.write("xyz", 3));
    EXPECT_TRUE(file.close());
    EXPECT_FALSE(file.failed());
    EXPECT_EQ(file.path(), dir.file("a.txt"));
    EXPECT_EQ(dir.read("a.txt"), "7 rows\nxyz");
}

// A full device takes the buffered writes and refuses them at the flush; the
// failure stays with the file and its reason is the device's.
TEST(OutputFile, FullDeviceFailsAtTheFlushAndStaysFailed) {
    if (!test::full_device_present())
        GTEST_SKIP() << test::kNoFullDevice;
    OutputFile file("/dev/full");
    ASSERT_TRUE(file.is_open());
    EXPECT_TRUE(file.print("a row\n"));
    EXPECT_FALSE(file.flush());
    EXPECT_TRUE(file.failed());
    EXPECT_FALSE(file.print("another row\n"));
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.failure(), "No space left on device");

    // Written through the stream itself: found when the file closes.
    OutputFile raw("/dev/full");
    std::fputs("a row\n", raw.get());
    EXPECT_FALSE(raw.close());
    EXPECT_EQ(raw.failure(), "No space left on device");
}

TEST(OutputFile, MissingFolderNeverOpens) {
    OutputFile file("/no/such/folder/out.txt");
    EXPECT_FALSE(file.is_open());
    EXPECT_FALSE(file.print("x"));
    EXPECT_FALSE(file.close());
    EXPECT_EQ(file.failure(), "No such file or directory");
}

// Each failure is raised once through the error record, naming the file.
TEST(OutputFile, FailuresRaiseTheirCodeOnce) {
    if (!test::full_device_present())
        GTEST_SKIP() << test::kNoFullDevice;
    RunContext ctx;
    OutputFile file("/dev/full");
    file.print("a row\n");
    EXPECT_FALSE(flush_output(ctx, file));
    EXPECT_EQ(ctx.error.code, err::write_output_file);
    EXPECT_EQ(error_message(ctx.error),
              "Error: Can't write output file: /dev/full (No space left on device)\n");
    ctx.error.clear();
    EXPECT_FALSE(file.is_open());  // closed at once: written no more
    EXPECT_TRUE(close_output(ctx, file));
    EXPECT_FALSE(ctx.error.pending());

    OutputFile nowhere("/no/such/folder/out.txt");
    EXPECT_FALSE(raise_open_failure(ctx, nowhere));
    EXPECT_EQ(error_message(ctx.error), "Error: Can't open output file: /no/such/folder/out.txt\n");
}

// In numbered runs the run number goes in front of the file name, after its
// folders; REPLACE_FOLDER goes in front of both.
TEST(OutputFile, NumberedRunNames) {
    struct Case {
        int batch_flag;
        const char* folder;
        const char* name;
        Numbering numbering;
        const char* path;
    };
    const Case cases[] = {
        {0, "", "out/summary.txt", Numbering::numbered, "out/summary.txt"},
        {1, "", "summary.txt", Numbering::numbered, "0007_summary.txt"},
        {1, "", "out/summary.txt", Numbering::numbered, "out/0007_summary.txt"},
        {1, "", "\"a b/c/q.otl\"", Numbering::numbered, "a b/c/0007_q.otl"},
        {1, "", "/tmp/run/q.otl", Numbering::numbered, "/tmp/run/0007_q.otl"},
        {1, "", "out\\q.otl", Numbering::numbered, "out\\0007_q.otl"},
        {1, "runs/", "out/q.otl", Numbering::numbered, "runs/out/0007_q.otl"},
        {1, "runs/", "depth/depth.0001.asc", Numbering::plain, "runs/depth/depth.0001.asc"},
        {1, "", "\"\"", Numbering::numbered, ""},
    };
    for (const Case& c : cases) {
        RunContext ctx;
        ctx.batch_flag = c.batch_flag;
        ctx.run_number = 7;
        ctx.output_folder = c.folder;
        EXPECT_EQ(output_path(ctx, c.name, c.numbering), c.path) << c.name;
    }
}

}  // namespace
}  // namespace torva
