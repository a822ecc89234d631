#include "calibration/mpi_engine.hpp"

#include <mpi.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "calibration/monte_carlo.hpp"
#include "calibration/sce_mode.hpp"
#include "calibration/sce_settings.hpp"
#include "core/context.hpp"

namespace torva {
namespace {

constexpr int kJobTag = 1;
constexpr int kScoreTag = 2;
constexpr int kStopTag = 3;
constexpr int kSetupTag = 4;

bool g_threads_may_share_mpi = false;

// Waiting ranks poll with short sleeps instead of spinning in the MPI library,
// so that a rank waiting for an evaluation leaves its core to the simulations
// (the searching rank mostly waits, and usually shares a machine with workers).
void wait_for(MPI_Request& request) {
    int done = 0;
    MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    while (!done) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        MPI_Test(&request, &done, MPI_STATUS_IGNORE);
    }
}

void probe(int source, MPI_Status& status) {
    int found = 0;
    MPI_Iprobe(source, MPI_ANY_TAG, MPI_COMM_WORLD, &found, &status);
    while (!found) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        MPI_Iprobe(source, MPI_ANY_TAG, MPI_COMM_WORLD, &found, &status);
    }
}

// The search's evaluations, sent to the worker ranks: worker w of the search
// is rank w + 1. A job is the evaluation number and the point; the answer is
// the evaluation's whole score, which joins the history on rank 0.
class RemoteEvaluator : public Evaluator {
  public:
    RemoteEvaluator(int workers, ScoreHistory& history) : workers_(workers), history_(history) {}

    int workers() const override { return workers_; }

    double evaluate(const Point& x, int number, int worker) override {
        std::vector<double> job(x.size());
        job[0] = number;
        for (std::size_t i = 1; i < x.size(); ++i) job[i] = x[i];
        double answer[5];
        {
            // Without thread support in the MPI library the workers take turns.
            std::unique_lock<std::mutex> turn(serial_, std::defer_lock);
            if (!g_threads_may_share_mpi)
                turn.lock();
            MPI_Request received;
            MPI_Irecv(answer, 5, MPI_DOUBLE, worker + 1, kScoreTag, MPI_COMM_WORLD, &received);
            MPI_Send(job.data(), static_cast<int>(job.size()), MPI_DOUBLE, worker + 1, kJobTag,
                     MPI_COMM_WORLD);
            wait_for(received);
        }
        Score score;
        score.criterion = answer[0];
        score.hmle = answer[1];
        score.rmse = answer[2];
        score.largest_peak = answer[3];
        score.largest_volume = answer[4];
        history_.add(score, x);
        return score.criterion;
    }

  private:
    int workers_;
    ScoreHistory& history_;
    std::mutex serial_;
};

void stop_workers(int processes) {
    for (int rank = 1; rank < processes; ++rank)
        MPI_Send(nullptr, 0, MPI_DOUBLE, rank, kStopTag, MPI_COMM_WORLD);
}

// Why this worker cannot evaluate points, in the words of the readers; empty
// when it can. On a cluster without a shared working folder the control
// files, or the files they name, are often missing where a worker starts.
std::string worker_setup_problem(const std::string& control_file, SceSettings& settings,
                                 Observations& observations) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* said = open_memstream(&text, &size);
    RunContext reader;
    reader.out = said ? said : stderr;
    bool ready = read_sce_input(reader, control_file, settings);
    for (const std::string* name : {&settings.project_file, &settings.parameter_file}) {
        if (!ready)
            break;
        std::FILE* probe = std::fopen(name->c_str(), "r");
        if (!probe) {
            reader.print("Error: unable to open the file %s named in %s.\n", name->c_str(),
                         control_file.c_str());
            ready = false;
        } else {
            std::fclose(probe);
        }
    }
    if (ready &&
        !read_scoring_data(reader, settings.observation_file, settings.objective, observations)) {
        reader.print("Error: unable to read the observation file %s named in %s.\n",
                     settings.observation_file.c_str(), control_file.c_str());
        ready = false;
    }
    std::string problem;
    if (said) {
        std::fclose(said);
        if (!ready)
            problem.assign(text, size);
        std::free(text);
    }
    if (!ready && problem.empty())
        problem = "Error: unable to read the SCE input file " + control_file + ".\n";
    return problem;
}

// A worker rank: tells rank 0 whether it could set up (an empty message, or
// the reason it could not), then evaluates the points rank 0 sends until it
// says stop.
void serve_evaluations(const std::string& control_file, const SimulationSetup& setup) {
    SceSettings settings;
    Observations observations;
    const std::string problem = worker_setup_problem(control_file, settings, observations);
    MPI_Send(problem.data(), static_cast<int>(problem.size()), MPI_CHAR, 0, kSetupTag,
             MPI_COMM_WORLD);
    const bool ready = problem.empty();
    SimulationSetup evaluations = setup;
    evaluations.run_folder = settings.run_folder;
    evaluations.keep_best_only = settings.keep_best_only;
    ScoreHistory history;
    SimulationObjective objective(evaluations, settings.project_file, settings.parameter_file,
                                  observations, history);
    std::vector<double> job;
    while (true) {
        MPI_Status status;
        probe(0, status);
        int count = 0;
        MPI_Get_count(&status, MPI_DOUBLE, &count);
        job.assign(count > 0 ? count : 1, 0.0);
        MPI_Recv(job.data(), count, MPI_DOUBLE, 0, status.MPI_TAG, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        if (status.MPI_TAG == kStopTag)
            return;
        const int number = static_cast<int>(job[0]);
        Point x(job.begin(), job.end());
        x[0] = 0.0;
        Score score;
        if (ready)
            score = objective.score(x, number);
        else
            score.criterion = failed_score();
        const double answer[5] = {score.criterion, score.hmle, score.rmse, score.largest_peak,
                                  score.largest_volume};
        MPI_Send(answer, 5, MPI_DOUBLE, 0, kScoreTag, MPI_COMM_WORLD);
    }
}

// Rank 0 hears from every worker whether it could set up, and prints the
// reason of each that could not; false when any could not.
bool workers_set_up(int processes, std::FILE* console) {
    bool all = true;
    for (int rank = 1; rank < processes; ++rank) {
        MPI_Status status;
        int found = 0;
        while (!found) {
            MPI_Iprobe(rank, kSetupTag, MPI_COMM_WORLD, &found, &status);
            if (!found)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        int count = 0;
        MPI_Get_count(&status, MPI_CHAR, &count);
        std::string problem(static_cast<std::size_t>(count), '\0');
        MPI_Recv(problem.data(), count, MPI_CHAR, rank, kSetupTag, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
        if (problem.empty())
            continue;
        all = false;
        std::fprintf(console, "Error: calibration worker rank %d could not set up in %s:\n%s", rank,
                     std::filesystem::current_path().c_str(), problem.c_str());
    }
    if (!all)
        std::fprintf(console,
                     "Every rank needs the SCE input file and the files it names (the project, "
                     "the parameter file, the observations and the project's inputs) in its "
                     "working folder.\n");
    return all;
}

}  // namespace

void start_mpi(int* argc, char*** argv) {
    int provided = MPI_THREAD_SINGLE;
    MPI_Init_thread(argc, argv, MPI_THREAD_MULTIPLE, &provided);
    g_threads_may_share_mpi = provided >= MPI_THREAD_MULTIPLE;
}

void stop_mpi() {
    int started = 0, finished = 0;
    MPI_Initialized(&started);
    MPI_Finalized(&finished);
    if (started && !finished)
        MPI_Finalize();
}

int mpi_processes() {
    int started = 0;
    MPI_Initialized(&started);
    if (!started)
        return 1;
    int size = 1;
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    return size;
}

int mpi_rank() {
    int started = 0;
    MPI_Initialized(&started);
    if (!started)
        return 0;
    int rank = 0;
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    return rank;
}

bool run_sce_calibration_mpi(const std::string& control_file, const SimulationSetup& setup) {
    const int processes = mpi_processes();
    const int rank = mpi_rank();
    SimulationSetup mine = setup;
    mine.partition = rank;
    mine.workers = 1;
    int ok = 0;
    if (rank == 0) {
        ScoreHistory history;
        RemoteEvaluator remote(processes - 1, history);
        if (workers_set_up(processes, setup.out))
            ok = run_sce_calibration(control_file, mine, &remote) ? 1 : 0;
        else
            std::fprintf(setup.out,
                         "Error: unable to successufully setup SCE-UA. Unable to run.\n");
        stop_workers(processes);
    } else {
        serve_evaluations(control_file, mine);
    }
    MPI_Bcast(&ok, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return ok == 1;
}

bool run_monte_carlo_mpi(int runs, const std::string& control_file, const SimulationSetup& setup) {
    const int processes = mpi_processes();
    const int rank = mpi_rank();
    SimulationSetup mine = setup;
    mine.partition = rank;
    mine.workers = 1;
    mine.run_folder = kMonteCarloRunFolder;

    RunContext reader;
    reader.out = setup.out;
    McRunRecord record;
    record.threads = setup.total_threads;
    record.processes = processes;
    record.rank = rank;
    MonteCarlo search(runs, control_file, record, reader);
    ScoreHistory history;
    SimulationObjective objective(mine, search.project_file(), search.parameter_file(),
                                  search.observations(), history);
    const int ran = search.run(objective) ? 1 : 0;
    int all_ran = 0;
    MPI_Allreduce(&ran, &all_ran, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD);
    if (!all_ran)
        return false;

    // The smallest magnitude wins; on equal magnitudes the lower rank.
    struct {
        double magnitude;
        int rank;
    } local{search.has_best() ? std::fabs(search.best_value()) : INFINITY, rank}, best{};
    MPI_Allreduce(&local, &best, 1, MPI_DOUBLE_INT, MPI_MINLOC, MPI_COMM_WORLD);
    // The winner sends its value and point: element 0 the value, 1 to P the point.
    std::vector<double> message(search.parameters() + 1, 0.0);
    if (rank == best.rank) {
        message[0] = search.best_value();
        for (int i = 1; i <= search.parameters(); ++i) message[i] = search.best()[i];
    }
    MPI_Bcast(message.data(), static_cast<int>(message.size()), MPI_DOUBLE, best.rank,
              MPI_COMM_WORLD);
    int reported = 1;
    if (rank == 0) {
        Point x(message);
        x[0] = 0.0;
        search.offer_best(message[0], x, true);
        reported = search.report(setup.out) ? 1 : 0;
    }
    MPI_Bcast(&reported, 1, MPI_INT, 0, MPI_COMM_WORLD);
    return objective.close_files() && reported == 1;
}

}  // namespace torva
