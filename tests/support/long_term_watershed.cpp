#include "support/long_term_watershed.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

#include "support/grids.hpp"

namespace torva::test {

std::string uniform_map(const char* value) {
    return uniform_map(3, 3, 10.0, value);
}

std::string hmx_june_weather(int days, int mean_f) {
    std::string text;
    char line[160];
    constexpr int kMonthDays[] = {30, 31, 31, 30, 31, 30, 31};  // June to December
    int month = 6, day = 1;
    for (int d = 1; d <= days; ++d) {
        for (int h = 0; h < 24; ++h) {
            const int t =
                mean_f + static_cast<int>(std::lround(10.0 * std::cos((h - 15) * 0.2618)));
            const double sun = std::max(0.0, 800.0 * std::sin((h - 6) * 0.2618));
            std::snprintf(line, sizeof line, "2021 %d %d %d 29.92 50 2 5 %d %.1f %.1f\n", month,
                          day, h, t, 0.7 * sun, sun);
            text += line;
        }
        if (++day > kMonthDays[month - 6] && month < 12) {
            day = 1;
            ++month;
        }
    }
    return text;
}

std::string long_term_cards() {
    return "TORVAPROJECT\nWATERSHED_MASK mask.msk\nELEVATION elevation.ele\nROWS 3\nCOLS 3\n"
           "GRIDSIZE 10\nOUTROW 3\nOUTCOL 2\nOUTSLOPE 0.01\nMANNING_N 0.05\nTIMESTEP 30\n"
           "TOT_TIME 10\nHYD_FREQ 60\nMAP_FREQ 1440\nPRECIP_FILE storms.gag\n"
           "EVENT_MIN_Q 0.00001\nLONG_TERM\nHMET_HMX weather.hmx\nET_CALC_PENMAN\n"
           "LATITUDE 40\nLONGITUDE 105\nGMT -7\nALBEDO albedo.map\nVHEIGHT height.map\n"
           "TCOEFF tcoeff.map\nCANOPY canopy.map\nWILTING_POINT wilting.map\n"
           "SOIL_MOIST_DEPTH 0.3\nINF_REDIST\nCONDUCTIVITY ks.map\nCAPILLARY psi.map\n"
           "POROSITY porosity.map\nMOISTURE moisture.map\nPORE_INDEX lambda.map\n"
           "RESIDUAL_SAT residual.map\nQUIET\nSUMMARY summary.txt\nOUTLET_HYDRO outlet.otl\n";
}

void write_long_term_inputs(const TempDir& dir, const std::string& weather) {
    dir.write("mask.msk", uniform_map("1"));
    dir.write("elevation.ele",
              grid_header(3, 3, 10.0) + "10.2 10.1 10.2\n10.1 10.0 10.1\n10.0 9.9 10.0\n");
    const std::pair<const char*, const char*> maps[] = {
        {"albedo.map", "0.23"}, {"height.map", "0.3"},    {"tcoeff.map", "1.0"},
        {"canopy.map", "70"},   {"wilting.map", "0.12"},  {"ks.map", "1.0"},
        {"psi.map", "11.0"},    {"porosity.map", "0.45"}, {"moisture.map", "0.25"},
        {"lambda.map", "0.32"}, {"residual.map", "0.04"},
    };
    for (const auto& [name, value] : maps) dir.write(name, uniform_map(value));
    dir.write("storms.gag",
              "EVENT \"one\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\n"
              "GAGES 2021 6 1 12 0 0.0\nGAGES 2021 6 1 12 30 10.0\nGAGES 2021 6 1 13 0 10.0\n"
              "EVENT \"two\"\nNRGAG 1\nNRPDS 3\nCOORD 15 15\n"
              "GAGES 2021 6 8 12 0 0.0\nGAGES 2021 6 8 12 30 2.0\nGAGES 2021 6 8 13 0 2.0\n");
    dir.write("weather.hmx", weather);
}

double figure_after(const std::string& text, const std::string& label, int occurrence) {
    std::size_t at = 0;
    for (int k = 0; k < occurrence; ++k) {
        at = text.find(label, k == 0 ? 0 : at + 1);
        if (at == std::string::npos)
            return NAN;
    }
    return std::stod(text.substr(at + label.size()));
}

}  // namespace torva::test
