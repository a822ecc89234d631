// The soil moisture that the location file reports for plain Green and Ampt,
// end to end (what the location reader refuses: see the input refusals).

#include <gtest/gtest.h>

#include <string>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::TempDir;

using test::kSmallHeader;

// Plain Green and Ampt: the north row has no conductivity and keeps its initial
// moisture 0.1 (porosity 0.4 less the deficit 0.3); the rain soaks into the
// other rows at once, whose wetted zone is saturated at the porosity 0.4. The
// rows come every 5 minutes of a 10-minute run: at 0, 5 and 10 minutes.
TEST(SoilMoistureLocations, PlainGreenAmptReportsTheSurfaceWaterContent) {
    TempDir dir;
    test::write_small_project(
        dir,
        "GREEN_AMPT\nCONDUCTIVITY ks.map\nCAPILLARY psi.map\nPOROSITY por.map\n"
        "MOISTURE moist.map\nIN_THETA_LOCATION theta.loc\nOUT_THETA_LOCATION theta.out\n");
    dir.write("ks.map", kSmallHeader + "0 0 0\n100 100 100\n100 100 100\n");
    dir.write("psi.map", kSmallHeader + "10 10 10\n10 10 10\n10 10 10\n");
    dir.write("por.map", kSmallHeader + "0.4 0.4 0.4\n0.4 0.4 0.4\n0.4 0.4 0.4\n");
    dir.write("moist.map", kSmallHeader + "0.1 0.1 0.1\n0.1 0.1 0.1\n0.1 0.1 0.1\n");
    dir.write("theta.loc", "2\n1 1\n3 2\n");
    const auto run = test::run_program_in(dir.path(), {"p.prj"});
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(dir.read("theta.out"),
              "    0.00000000     0.100000     0.400000 \n"
              "    5.00000000     0.100000     0.400000 \n"
              "   10.00000000     0.100000     0.400000 \n");
}

}  // namespace
}  // namespace torva
