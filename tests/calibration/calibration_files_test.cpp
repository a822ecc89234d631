// A calibration whose files cannot be written in full says which file and
// ends in failure, however far the search got.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "calibration/synthetic_watershed.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

TEST(CalibrationFiles, FullDeviceFailsTheCalibrationNamingTheFile) {
    if (!test::full_device_present())
        GTEST_SKIP() << test::kNoFullDevice;
    for (const char* name : {"sce_output.dat", "best.out", "0000_log_file.txt", "0_hmle.dat"}) {
        test::TempDir dir;
        test::write_synthetic_watershed(dir);
        dir.write("obs.txt", "1\n0.02 1 10.0 1\n");
        dir.write("sce.in",
                  "p.prj\nparams.txt\nobs.txt\n30 5 0.0001 2 7 0 2\n0 0 0 0 0 0\n"
                  "0.1 0.01 0.2\n0.5 0.1 3.0\n");
        std::filesystem::create_symlink("/dev/full", dir.path() / name);
        EXPECT_FALSE(test::calibrate_in(dir, 1)) << name;
        EXPECT_NE(dir.read("console.txt")
                      .find(std::string("Error: unable to write the file ") + name +
                            " (No space left on device)\n"),
                  std::string::npos)
            << name << dir.read("console.txt");
    }
}

}  // namespace
}  // namespace torva
