#pragma once
// The command line and the run modes of the program.

#include <cstdio>
#include <string>
#include <vector>

#include "calibration/simulation_objective.hpp"

namespace torva {

enum class RunMode {
    unset = 0,
    project = 1,
    sce = 2,
    batch = 3,
    version = 4,
    help = 5,
    monte_carlo = 6,
    sensitivity = 7,
    d_option = 8
};

struct RunRequest {
    RunMode mode = RunMode::unset;
    std::string input_file;  // at most 1023 characters
    int run_count = 1;
    // The command line named a file the program cannot hold, or an option this
    // version lacks.
    bool refused = false;
};

inline constexpr double kVersion = 4.0;
inline constexpr char kVersionLetter = 'a';
inline constexpr std::size_t kMaxCommandLineName = 1023;

// Parses the arguments after the program name. Prints the usage text (or the
// refusal of an over-long name) and returns false when nothing is to run.
bool parse_command_line(const std::vector<std::string>& args, RunRequest& request, std::FILE* out);

// The whole program after start-up: prints the start line, parses the command
// line and runs the mode. Returns the process exit status: 1 when a simulation
// (or any run of a batch) failed, 0 otherwise.
int run_program(const std::vector<std::string>& args, std::FILE* out = stdout,
                std::FILE* err = stderr);

// The simulations of a calibration: as many side by side as the machine has
// processors, each an ordinary run through the run driver.
SimulationSetup calibration_setup(int total_threads, std::FILE* out, std::FILE* err);

}  // namespace torva
