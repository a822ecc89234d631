#include <cstdio>
#include <string>
#include <vector>

#include "run/modes.hpp"
#include "run/thread_policy.hpp"
#ifdef TORVA_WITH_MPI
#include "calibration/mpi_engine.hpp"
#endif

int main(int argc, char** argv) {
    // A console sent to a file or a pipe shows each line as it is written, so
    // that a log can be followed while the run goes on.
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
    torva::start_with_chosen_waiting(argv);
    std::vector<std::string> args(argv + 1, argv + argc);
#ifdef TORVA_WITH_MPI
    // Started under mpirun, the processes cooperate in a calibration; alone,
    // the program runs as it would without MPI. Other modes never start MPI:
    // its start-up costs half a second and its runtime refuses some process
    // limits (a file-size limit) that a plain simulation runs under.
    if (torva::calibration_requested(args)) {
        torva::start_mpi(&argc, &argv);
        args.assign(argv + 1, argv + argc);
    }
#endif
    const int status = torva::run_program(args);
#ifdef TORVA_WITH_MPI
    torva::stop_mpi();
#endif
    return status;
}
