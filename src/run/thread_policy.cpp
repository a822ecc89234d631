#include "run/thread_policy.hpp"

#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace torva {

WaitSetting choose_wait_setting(bool user_chose, const std::vector<std::string>& loads,
                                int processors, int threads) {
    if (user_chose)
        return {nullptr, nullptr};
    const WaitSetting sleep{"OMP_WAIT_POLICY", "passive"};
    if (threads <= 1 || loads.empty())
        return sleep;
    // The fewest other programs runnable at any of the looks.
    int others = processors;
    for (const std::string& load : loads) {
        std::istringstream in(load);
        double minute = 0.0, five = 0.0, fifteen = 0.0;
        int runnable = 0, all = 0;
        char slash = 0;
        if (!(in >> minute >> five >> fifteen >> runnable >> slash >> all) || slash != '/' ||
            runnable < 1)
            return sleep;
        others = std::min(others, runnable - 1);
    }
    if (processors - others < threads)
        return sleep;
    return {nullptr, nullptr};
}

int default_thread_count() {
    const int processors = omp_get_num_procs();
    const char* text = std::getenv("OMP_NUM_THREADS");
    if (!text || !*text)
        return processors;
    // The first number of a list ("4,2") is the count of the outermost loops.
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (end == text || n < 1 || n > 4096 || (*end != '\0' && *end != ','))
        return processors;
    return static_cast<int>(n);
}

void start_with_chosen_waiting(char** argv) {
    const bool user_chose = std::getenv("OMP_WAIT_POLICY") || std::getenv("GOMP_SPINCOUNT");
    // Three looks a millisecond apart: a program at work is runnable in all
    // of them, one woken for an instant in one at most.
    std::vector<std::string> loads;
    for (int look = 0; look < 3 && !user_chose; ++look) {
        if (look > 0)
            usleep(1000);
        std::ifstream file("/proc/loadavg");
        std::string load;
        std::getline(file, load);
        loads.push_back(load);
    }
    const WaitSetting s =
        choose_wait_setting(user_chose, loads, omp_get_num_procs(), default_thread_count());
    if (!s.name || setenv(s.name, s.value, 1) != 0)
        return;
    execv("/proc/self/exe", argv);
    // The new start failed: run on with the runtime's own policy.
}

}  // namespace torva
