// Soil parameters read from real map files on a hand-built two-cell grid: the
// unit conversions, the moisture deficit of plain Green and Ampt, the
// parameters redistribution needs, the aquifer bottom correction, the soil
// layer input file and the long-term start of an event from the moisture store.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "core/context.hpp"
#include "core/model_state.hpp"
#include "soil/infiltration.hpp"
#include "support/grids.hpp"
#include "support/harness.hpp"

namespace torva {
namespace {

std::string two_cell_map(const std::string& values) {
    return "north: 10\nsouth: 0\neast: 20\nwest: 0\nrows: 1\ncols: 2\n" + values + "\n";
}

// A 1 x 2 grid with both cells inside the watershed, working in a folder of
// its own as the program does in its project's; console output captured.
struct SoilSetUp {
    test::TempDir dir;
    std::filesystem::path before = std::filesystem::current_path();
    RunContext ctx;
    test::Console capture{ctx};
    std::unique_ptr<Model> model = std::make_unique<Model>();

    explicit SoilSetUp(InfiltrationMethod method) {
        std::filesystem::current_path(dir.path());
        test::build_grid(model->grid, 1, 2, 10.0, [](int, int) { return 100.0; });
        model->project.infiltration = method;
    }
    ~SoilSetUp() { std::filesystem::current_path(before); }
    void map(Card card, const std::string& name, const std::string& values) {
        dir.write(name, two_cell_map(values));
        model->project[card].given = true;
        model->project[card].text = name;
    }
    std::string console() { return capture.text(); }
    std::string errors() { return capture.errors(); }
};

TEST(SoilParameters, MapsAreConvertedAndPlainGreenAmptKeepsTheDeficit) {
    SoilSetUp s(InfiltrationMethod::green_ampt);
    s.map(Card::CONDUCTIVITY, "ks.map", "3.6 7.2");
    s.map(Card::CAPILLARY, "psi.map", "10 20");
    s.map(Card::POROSITY, "phi.map", "0.45 0.45");
    s.map(Card::MOISTURE, "theta.map", "0.3 0.5");
    read_soil_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending());
    const Soil& soil = s.model->soil;
    EXPECT_DOUBLE_EQ(soil.conductivity[1], 1e-5);
    EXPECT_DOUBLE_EQ(soil.conductivity[2], 2e-5);
    EXPECT_DOUBLE_EQ(soil.capillary_head[1], 0.1);
    EXPECT_DOUBLE_EQ(soil.capillary_head[2], 0.2);
    EXPECT_NEAR(soil.moisture[1], 0.15, 1e-15);  // deficit 0.45 - 0.3
    EXPECT_EQ(soil.moisture[2], 0.0);            // moisture above porosity
    EXPECT_EQ(s.console(),
              "reading saturated hydraulic conductivity map from file: ks.map\n"
              "reading capillary drive map from file: psi.map\n"
              "reading porosity map from file: phi.map\n"
              "reading soil moisture map from file: theta.map\n"
              "Warning: initial water content > phi at grid 2\n");
}

TEST(SoilParameters, WithoutMoistureSourceTheSoilStartsUniform) {
    SoilSetUp s(InfiltrationMethod::redistribution);
    s.map(Card::CONDUCTIVITY, "ks.map", "3.6 3.6");
    s.map(Card::CAPILLARY, "psi.map", "10 10");
    s.map(Card::POROSITY, "phi.map", "0.45 0.45");
    s.map(Card::PORE_INDEX, "lambda.map", "0.3 0.3");
    s.map(Card::RESIDUAL_SAT, "thr.map", "0.05 0.07");
    read_soil_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending());
    EXPECT_NE(s.console().find("initializing uniform initial soil water content\n"),
              std::string::npos);
    EXPECT_EQ(s.model->soil.moisture[2], 0.07);
    EXPECT_EQ(s.model->soil.front_moisture[2], 0.07);
    EXPECT_EQ(s.model->soil.surface_moisture[2], 0.07);
}

// A value no soil can have stops the run at set-up, naming the cell in the
// units of the map, rather than turning into a non-real depth phases later;
// redistribution without its pore index or residual saturation map stops too.
// The console from the message on.
TEST(SoilParameters, ValuesNoSoilCanHaveAndMissingMapsStopTheRun) {
    using enum InfiltrationMethod;
    const std::string redist = "For infiltration redistribution, ";
    const struct {
        InfiltrationMethod method;
        const char *ks, *porosity, *moisture, *pore_index;  // maps
        std::string message;
    } cases[] = {
        {green_ampt, "3.6 -0.5", "0.45 0.45", "0.3 0.3", "",
         "Error: the saturated hydraulic conductivity of grid cell 2 (row 1, column 2) is -0.5 "
         "cm/h, which no soil can have.\n"},
        {green_ampt, "3.6 3.6", "-0.1 0.45", "0.3 0.3", "",
         "Error: the porosity of grid cell 1 (row 1, column 1) is -0.1, which no soil can have.\n"},
        {green_ampt, "3.6 3.6", "0.45 1.2", "0.3 0.3", "",
         "Error: the porosity of grid cell 2 (row 1, column 2) is 1.2, which no soil can have.\n"},
        {green_ampt, "3.6 3.6", "0.45 0.45", "0.3 -0.1", "",
         "Error: the initial water content of grid cell 2 (row 1, column 2) is -0.1, which no "
         "soil can have.\n"},
        {redistribution, "3.6 3.6", "0.45 0.45", "", "",
         redist + "the pore index map must be specified\n"},
        {redistribution, "3.6 3.6", "0.45 0.45", "", "0.3 0.3",
         redist + "pore index map must be specified\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        SoilSetUp s(c.method);
        const Card cards[] = {Card::CONDUCTIVITY, Card::POROSITY, Card::MOISTURE, Card::PORE_INDEX};
        const char* names[] = {"ks.map", "phi.map", "theta.map", "lambda.map"};
        const char* maps[] = {c.ks, c.porosity, c.moisture, c.pore_index};
        for (int k = 0; k < 4; ++k)
            if (*maps[k])
                s.map(cards[k], names[k], maps[k]);
        s.map(Card::CAPILLARY, "psi.map", "10 20");
        read_soil_parameters(*s.model, s.ctx);
        EXPECT_EQ(s.ctx.error.code, err::message_printed);
        const std::string console = s.console();
        const std::size_t at = console.find(c.message.substr(0, 8));
        ASSERT_NE(at, std::string::npos) << console;
        EXPECT_EQ(console.substr(at), c.message);
        if (c.method == redistribution)
            EXPECT_EQ(s.errors(), "Program stopped.\n");
    }
}

TEST(SoilParameters, AquiferBottomAboveGroundIsSetToGround) {
    SoilSetUp s(InfiltrationMethod::none);
    s.model->run.long_term = true;
    s.model->project[Card::GW_SIMULATION].given = true;
    s.map(Card::WATER_TABLE, "wt.map", "98 97");
    s.map(Card::AQUIFER_BOTTOM, "bottom.map", "90 100.5");
    read_soil_parameters(*s.model, s.ctx);
    ASSERT_FALSE(s.ctx.error.pending());
    EXPECT_EQ(s.model->soil.water_table[2], 97.0);
    EXPECT_EQ(s.model->soil.aquifer_bottom[1], 90.0);
    EXPECT_EQ(s.model->soil.aquifer_bottom[2], 100.0);
    EXPECT_EQ(s.console(),
              "reading water table map from file: wt.map\n"
              "reading aquifer bottom map from file: bottom.map\n"
              "Aquifer bottom elevation 100.500000 for cell 2 is at or above ground surface "
              "elevation 100.000000 \nAquifer bottom elevation set to ground elevation \n");
}

TEST(SoilLayerFile, FillsTheLayerTableOfEachSoilIndex) {
    SoilSetUp s(InfiltrationMethod::layered_soil);
    const std::string path = s.dir
                                 .write("layers.txt",
                                        "2 0\n"
                                        "3\n"
                                        "1.5, 11.0, 0.43, 0.20, 15\n"
                                        "0.5 21.0 0.47 0.25 30\n"
                                        "0.1 31.0 0.50 0.30\n"
                                        "1\n"
                                        "2.5 5 0.40 0.10 10\n"
                                        "1.5 6 0.41 0.11 20\n"
                                        "0.5 7 0.42 0.12\n")
                                 .string();
    ASSERT_TRUE(read_soil_layer_file(*s.model, s.ctx, path));
    const auto& table = s.model->soil.layer_table;
    ASSERT_EQ(table.size(), 4u);
    EXPECT_TRUE(table[1].given);
    EXPECT_FALSE(table[2].given);
    EXPECT_TRUE(table[3].given);
    EXPECT_EQ(table[3].layers[0].conductivity, 1.5);
    EXPECT_EQ(table[3].layers[0].capillary_head, 11.0);
    EXPECT_EQ(table[3].layers[1].thickness, 30.0);
    EXPECT_EQ(table[3].layers[2].initial_moisture, 0.30);
    EXPECT_EQ(table[1].layers[2].porosity, 0.42);

    // A cell of soil type 2, which the file does not hold, stops the set-up;
    // so does a file that ends before its layers do.
    s.model->soil.soil_index = {0, 1, 2};
    set_up_soil_layers(*s.model, s.ctx);
    EXPECT_EQ(s.ctx.error.code, err::message_printed);
    const std::string short_file =
        s.dir.write("short.txt", "1 0\n1\n1.5 11.0 0.43 0.20 15\n").string();
    EXPECT_FALSE(read_soil_layer_file(*s.model, s.ctx, short_file));
    EXPECT_EQ(s.console(),
              "Error: no soil layers given for soil type 2 of grid cell 2 in the soil layer input "
              "file\nError: problem reading the soil layer input file " +
                  short_file + ": missing or bad layer values of soil index 1\n");
}

// In a long-term run an event starts from the water of the moisture store:
// theta_i = stored depth / layer depth, kept within [theta_r, theta_s].
TEST(LongTermEventStart, InitialMoistureComesFromTheStoreWithinLimits) {
    SoilSetUp s(InfiltrationMethod::redistribution);
    Model& m = *s.model;
    m.run.long_term = true;
    m.run.time_step = 60.0;
    m.run.time_step_days = 60.0 / 86400.0;
    Soil& soil = m.soil;
    soil.porosity = {0, 0.45, 0.45, 0.45};
    soil.residual_saturation = {0, 0.05, 0.05, 0.05};
    soil.moisture = {0, 0, 0, 0};
    m.grid.num_cells = 3;
    m.overland.depth.assign(4, 0.0);
    ASSERT_TRUE(allocate_infiltration_state(m, s.ctx));
    soil.moisture_layer_depth = 0.4;
    soil.stored_water = {0, 0.08, 0.01, 0.2};
    soil.infiltrated_depth[3] = 0.5;  // more than the store can hold
    start_infiltration_event(m, s.ctx);
    EXPECT_NEAR(soil.moisture[1], 0.2, 1e-15);
    EXPECT_NEAR(soil.moisture[2], 0.06, 1e-15);  // 0.025 < theta_r: raised to theta_r + 0.01
    EXPECT_NEAR(soil.moisture[3], 0.45, 1e-15);  // store full: theta_s exactly
    EXPECT_EQ(soil.infiltrated_depth[3], 0.0);
    EXPECT_EQ(soil.step, 1);
    EXPECT_EQ(
        s.console(),
        "cell: 2  thi: 0.025000  thr: 0.050000   phi: 0.450000\n"
        "Problem initializing inf_redist in main loop, thi<thr at grid cell 2, increasing it to "
        "0.060000\n");
}

}  // namespace
}  // namespace torva
