#include "run/modes.hpp"

#include <omp.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "calibration/monte_carlo.hpp"
#ifdef TORVA_WITH_MPI
#include "calibration/mpi_engine.hpp"
#endif
#include "calibration/sce_mode.hpp"
#include "core/context.hpp"
#include "run/driver.hpp"
#include "run/interrupt.hpp"
#include "run/thread_policy.hpp"

namespace torva {
namespace {

const char* const kUsage =
    "\nUsage: torva [-option] [inputfile]\n"
    "\n"
    " where -option is one of:\n"
    "      -c = SCE calibration mode (input file is the calibration control file)\n"
    "      -m = Monte Carlo calibration mode (input file is the calibration control file)\n"
    "      -b = batch mode (input file is the batch control file)\n"
    "      -v = display version information (no project will be run)\n"
    "  The c, m, b, and v commands are optional and if not present the input file is\n"
    " treated as the project file\n"
    "\n"
    "  For the -b option, the command line should be:\n"
    "      torva -b[num_batch] torva_inputfile\n"
    "\n"
    "  For the -c option, the command line should be:\n"
    "      torva -c sce_inputfile\n"
    "\n"
    "  For the -m option, the command line should be:\n"
    "      torva -m[num_batch] mc_inputfile\n"
    "\n"
    "  For the -s option, the command line should be:\n"
    "      torva -s sen_inputfile\n"
    "\n"
    "  For the -t option (and -tv), the command line should be:\n"
    "      torva -t[v]\n"
    "\n"
    "  where [num_batch] is the number of batch runs to make, sce_inputfile is the SCE input "
    "file, mc_intputfile is\n"
    "  the Monte Carlo input file, and sen_inputfile is the sensitivity input file.\n"
    "\n";

void print_version_banner(std::FILE* out) {
    std::fprintf(out, "\n    -- TORVA version %4.2lf%c --\n \n", kVersion, kVersionLetter);
    std::fprintf(out,
                 "    A physically based, distributed watershed model. This version\n"
                 "    simulates uniform or gauged rainfall, interception, retention,\n"
                 "    Green and Ampt infiltration and overland flow on a grid of square\n"
                 "    cells, and reports the outlet hydrograph and a mass balance.\n"
                 "    Developed by the TORVA hydrology group.\n"
                 "    Contact: torva-support@hydrology.example.org\n \n");
    std::fprintf(out, "Intended for use with ORBAL Version 8.0 or higher");
    std::fprintf(out, "\n \n");
}

// The number after -b or -m, read from the third character; 1 when none.
int run_count_of(const std::string& option) {
    if (option.size() <= 2)
        return 1;
    const char* digits = option.c_str() + 2;
    char* end = nullptr;
    const long n = std::strtol(digits, &end, 10);
    return end == digits ? 1 : static_cast<int>(n);
}

// One simulation with its own context; returns its exit status: 0 when it ran
// cleanly, 1 when it failed, 128 plus the signal's number when a stop signal
// ended it.
int simulate(const std::string& project, int total_threads, int batch_flag, int run_number,
             bool& replacement_active, std::FILE* out, std::FILE* err) {
    RunContext ctx;
    ctx.out = out;
    ctx.err = err;
    ctx.total_threads = total_threads;
    ctx.batch_flag = batch_flag;
    ctx.run_number = run_number;
    ctx.replace_line = run_number;
    ctx.replacement.active = replacement_active;
    const int code = run_simulation(ctx, project);
    replacement_active = ctx.replacement.active;
    if (ctx.interrupted_by)
        return 128 + ctx.interrupted_by;
    return code == 0 ? 0 : 1;
}

// The -c and -m modes; under mpirun the processes share the work.
bool calibrate(const RunRequest& request, const SimulationSetup& setup) {
    const bool sce = request.mode == RunMode::sce;
#ifdef TORVA_WITH_MPI
    if (mpi_processes() > 1)
        return sce ? run_sce_calibration_mpi(request.input_file, setup)
                   : run_monte_carlo_mpi(request.run_count, request.input_file, setup);
#endif
    return sce ? run_sce_calibration(request.input_file, setup)
               : run_monte_carlo(request.run_count, request.input_file, setup);
}

}  // namespace

// The simulations of a calibration: as many side by side as the machine has
// processors, each through the run driver.
SimulationSetup calibration_setup(int total_threads, std::FILE* out, std::FILE* err) {
    SimulationSetup setup;
    setup.out = out;
    setup.err = err;
    setup.total_threads = total_threads;
    setup.workers = total_threads;
    setup.run = [](RunContext& ctx, const std::string& project, CalibrationResults* results) {
        return run_simulation(ctx, project, results);
    };
    return setup;
}

bool parse_command_line(const std::vector<std::string>& args, RunRequest& request, std::FILE* out) {
    request = RunRequest{};
    if (args.empty()) {
        std::fputs(kUsage, out);
        return false;
    }
    std::string file;
    if (args.size() == 1) {
        // A newcomer asks for help the usual way; a project file of that name
        // still runs.
        std::error_code ec;
        if ((args[0] == "--help" || args[0] == "-h") && !std::filesystem::exists(args[0], ec)) {
            std::fputs(kUsage, out);
            return false;
        }
        request.mode = RunMode::project;
        file = args[0];
    } else {
        const std::string& option = args[0];
        const std::string two = option.substr(0, 2);
        file = args[1];
        // Options of other versions would end the program having done nothing;
        // saying so keeps a script from taking that for a run.
        const char* lacking = two == "-s"   ? "sensitivity runs"
                              : two == "-d" ? "the -d mode"
                              : two == "-t" ? "the test mode"
                                            : nullptr;
        if (lacking) {
            std::fprintf(out,
                         "Error: option %s (%s) is not part of this version of TORVA; "
                         "torva --help lists the options.\n",
                         two.c_str(), lacking);
            request.refused = true;
            return false;
        }
        if (two == "-c") {
            request.mode = RunMode::sce;
        } else if (two == "-b") {
            request.mode = RunMode::batch;
            request.run_count = run_count_of(option);
        } else if (two == "-m") {
            request.mode = RunMode::monte_carlo;
            request.run_count = run_count_of(option);
        } else if (two == "-h") {
            std::fputs(kUsage, out);
            return false;
        } else if (two == "-v") {
            request.mode = RunMode::version;
            return true;
        } else {
            std::fputs(kUsage, out);
            return false;
        }
    }
    if (file.size() > kMaxCommandLineName) {
        std::fprintf(out, "Error: the input file name is longer than %zu characters.\n",
                     kMaxCommandLineName);
        request.mode = RunMode::unset;
        request.refused = true;
        return false;
    }
    request.input_file = file;
    return true;
}

bool calibration_requested(const std::vector<std::string>& args) {
    if (args.size() < 2)
        return false;
    const std::string two = args[0].substr(0, 2);
    return two == "-c" || two == "-m";
}

int run_program(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
    const int total_threads = default_thread_count();
    omp_set_num_threads(total_threads);
    std::fprintf(out, "Parallel version of TORVA (%2.1lf%c) with SCE (OpenMP), %d total threads.\n",
                 kVersion, kVersionLetter, total_threads);
    std::fflush(out);

    install_stop_handlers();
    RunRequest request;
    if (!parse_command_line(args, request, out))
        return request.refused ? 1 : 0;
    bool replacement_active = false;
    switch (request.mode) {
        case RunMode::project:
            return simulate(request.input_file, total_threads, 0, 0, replacement_active, out, err);
        case RunMode::batch: {
            std::fprintf(out, "TORVA is running in batch mode, and is running %d runs...\n",
                         request.run_count);
            int status = 0;
            for (int i = 0; i < request.run_count; ++i) {
                const int run =
                    simulate(request.input_file, total_threads, 1, i, replacement_active, out, err);
                if (run > 1)
                    return run;  // a stop signal ends the batch
                status = std::max(status, run);
            }
            return status;
        }
        case RunMode::sce:
        case RunMode::monte_carlo:
            return calibrate(request, calibration_setup(total_threads, out, err)) ? 0 : 1;
        case RunMode::version:
            print_version_banner(out);
            return 0;
        default:
            return 0;
    }
}

}  // namespace torva
