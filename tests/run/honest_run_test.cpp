// Runs that must not report success for what they did not do: cards whose
// process this version does not simulate, and runs stopped by a signal. Each
// case runs the whole program and checks the message, the exit status and the
// files.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "support/harness.hpp"
#include "support/projects.hpp"

namespace torva {
namespace {

using test::normalise;
using test::run_program_in;
using test::TempDir;

struct CardCase {
    const char* extra_cards;
    const char* message;  // expected in the console output
    int status;
};

const CardCase kUnavailableCards[] = {
    {"CHAN_PREISS\nGW_ASSIGN_THETA\nGW_WELL_LEVEL w.txt\n",
     "Error: the project file p.prj asks for processes that are not available in this version "
     "of TORVA:\n"
     "  CHAN_PREISS            channel routing\n"
     "  GW_ASSIGN_THETA        groundwater coupling with soil columns\n"
     "  GW_WELL_LEVEL          well level files\n"
     "Nothing has been simulated. Remove these cards from the project file to run without these "
     "processes.\n",
     1},
    {"LONG_TERM\nET_CALC_DEARDORFF\nINF_REDIST\nALBEDO a\nHMET_SAMSON s.txt\n"
     "MIXING_LAYER_DEPTH 0.01\n",
     "  MIXING_LAYER_DEPTH     contaminants and nutrients\n", 1},
    {"LAKE_PUMP p.txt\n",
     "  LAKE_PUMP              lake pumps and lake bed seepage from the project file\n", 1},
    {"SOIL_ERODABILITY k.map\n", "  SOIL_ERODABILITY       sediment transport\n", 1},
    {"NUTRIENTS\n", "  NUTRIENTS              contaminants and nutrients\n", 1},
    {"STORM_SEWER s.txt\n", "  STORM_SEWER            pipe network\n", 1},
    {"SACRAMENTO s.txt\n",
     "Error: Sacramento soil moisture accounting (SACRAMENTO) runs in long-term runs only; add "
     "LONG_TERM with its weather.\n",
     1},
    {"TANVIK\nMORREL m.dat\n", "  TANVIK                 host coupling (TANVIK, MORREL, Q9)\n", 1},
    {"XWINDOWS\n",
     "Warning: card XWINDOWS only concerns a host's display (X-window plotting), which this "
     "version does not provide; it changes no simulated number and is ignored.\n",
     0},
};

TEST(UnavailableProcesses, CardsStopTheRunBeforeAnyOutputIsOpened) {
    for (const CardCase& c : kUnavailableCards) {
        TempDir dir;
        test::write_small_project(dir, std::string("SUMMARY summary.txt\n") + c.extra_cards);
        const auto run = run_program_in(dir.path(), {"p.prj"});
        EXPECT_NE(normalise(run.out).find(c.message), std::string::npos)
            << c.extra_cards << run.out;
        EXPECT_EQ(run.status, c.status) << c.extra_cards;
        const bool refused = c.status != 0;
        EXPECT_EQ(dir.exists("summary.txt"), !refused) << c.extra_cards;
        EXPECT_EQ(dir.exists("maskmap"), !refused) << c.extra_cards;
    }
}

struct Stopped {
    int status = -1;  // exit status, -1 when the program did not exit by itself
    std::string out;
};

// Starts the program on p.prj in `folder`, sends `signal` once the time loop
// has run for a moment, and waits for the program to end.
Stopped run_and_stop(const std::filesystem::path& folder, int signal) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        close(pipe_ends[0]);
        if (chdir(folder.c_str()) == 0)
            execl(TORVA_BINARY, "torva", "p.prj", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipe_ends[1]);
    Stopped stopped;
    char buffer[4096];
    bool sent = false;
    ssize_t n;
    while ((n = read(pipe_ends[0], buffer, sizeof buffer)) > 0) {
        stopped.out.append(buffer, static_cast<std::size_t>(n));
        if (!sent && stopped.out.find("Running....\n") != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            kill(pid, signal);
            sent = true;
        }
    }
    close(pipe_ends[0]);
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);
    if (WIFEXITED(wait_status))
        stopped.status = WEXITSTATUS(wait_status);
    return stopped;
}

// Every line of a hydrograph file holds its two numbers and ends in a newline.
bool whole_lines(const std::string& text) {
    if (text.empty() || text.back() != '\n')
        return false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        double minutes = 0.0, discharge = 0.0;
        if (std::sscanf(line.c_str(), "%lf %lf", &minutes, &discharge) != 2)
            return false;
    }
    return true;
}

TEST(StopSignals, RunFinishesItsStepWritesItsSummaryAndExitsWith128PlusTheSignal) {
    const struct {
        int signal;
        const char* name;
        int status;
    } cases[] = {{SIGINT, "SIGINT", 130}, {SIGTERM, "SIGTERM", 143}};
    for (const auto& c : cases) {
        TempDir dir;
        // A year of one-second steps: far longer than the test waits.
        test::write_small_project(dir, "TOT_TIME 525600\nSUMMARY summary.txt\nOUTLET_HYDRO q.otl\n",
                                  "1");
        const Stopped run = run_and_stop(dir.path(), c.signal);
        EXPECT_EQ(run.status, c.status) << run.out;
        const std::string note = std::string("Run interrupted by ") + c.name + " after the step";
        EXPECT_NE(run.out.find(note), std::string::npos) << run.out;
        const std::string summary = dir.read("summary.txt");
        EXPECT_NE(summary.find("SIMULATION TOTALS"), std::string::npos);
        EXPECT_NE(summary.find(note), std::string::npos);
        EXPECT_TRUE(whole_lines(dir.read("q.otl")));
    }
}

}  // namespace
}  // namespace torva
