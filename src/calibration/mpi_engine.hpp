#pragma once
// Calibration across machines with MPI: the SCE search on rank 0 with the
// evaluations on the other ranks (master and workers), and the Monte Carlo
// runs divided among the ranks with the best point reduced to rank 0. Built
// only with the CMake option TORVA_MPI.

#include <string>

#include "calibration/simulation_objective.hpp"

namespace torva {

// Starts MPI for the process (threads may call MPI at the same time) and ends
// it; the program's entry calls them once around everything else.
void start_mpi(int* argc, char*** argv);
void stop_mpi();

// The number of cooperating processes (1 when MPI was not started) and this
// process's rank.
int mpi_processes();
int mpi_rank();

// The -c mode across the ranks: rank 0 reads the control files, runs the
// search and writes the search's files; ranks 1 to n - 1 evaluate the points
// it sends them, each writing only its own files. Returns false on every rank
// when the calibration could not be set up or run.
bool run_sce_calibration_mpi(const std::string& control_file, const SimulationSetup& setup);

// The -m mode across the ranks: each rank makes its share of the runs and
// logs them to log_file_p<rank>.log; rank 0 reports the best of all.
bool run_monte_carlo_mpi(int runs, const std::string& control_file, const SimulationSetup& setup);

}  // namespace torva
