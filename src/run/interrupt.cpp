#include "run/interrupt.hpp"

#include <csignal>

namespace torva {
namespace {

// The only global of the program: written by the handler, read between steps.
volatile std::sig_atomic_t g_stop_signal = 0;

void note_stop_signal(int signal) {
    g_stop_signal = signal;
}

}  // namespace

void install_stop_handlers() {
    struct sigaction action {};
    action.sa_handler = note_stop_signal;
    sigemptyset(&action.sa_mask);
    // Reads and writes in progress go on; a second signal is not caught.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int stop_signal() {
    return g_stop_signal;
}

const char* stop_signal_name(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

}  // namespace torva
