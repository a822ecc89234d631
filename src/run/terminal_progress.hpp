#pragma once
// The progress of a long run on a terminal: one line, rewritten in place,
// with the model time reached, the share of the run done, the wall time and
// an estimate of the time left. Nothing is shown when the console is a file or
// a pipe, or a quiet card is given; a log keeps the progress lines only.

#include <chrono>
#include <string>

namespace torva {

struct Model;
struct RunContext;

// The line's text (without the carriage return): "model time 06/01/2020
// 10:30:00   45.0%  wall 0:12  left ~0:15". A share below 0 is unknown (a
// long-term run without END_TIME): then only the model time and wall time.
std::string progress_text(int month, int day, int year, int hour, int minute, int second,
                          double share, double wall_seconds);

class TerminalProgress {
  public:
    // Decides once whether the console of the run is a terminal.
    TerminalProgress(const Model& model, const RunContext& ctx);
    // After every step: redraws the line at most a few times a second, once
    // the run has lasted a few seconds.
    void update(const Model& model, RunContext& ctx);
    // Removes the line, so that the end of the run prints on a clean line.
    void clear(RunContext& ctx);

  private:
    using Clock = std::chrono::steady_clock;
    bool enabled_ = false;
    Clock::time_point started_;
    Clock::time_point last_drawn_;
    double start_time_ = 0.0;
};

}  // namespace torva
