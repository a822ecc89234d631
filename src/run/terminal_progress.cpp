#include "run/terminal_progress.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {
namespace {

constexpr double kFirstAfter = 3.0;   // s of wall time before the line appears
constexpr double kRedrawEvery = 0.5;  // s of wall time between redraws

std::string minutes_and_seconds(double seconds) {
    const long whole = std::max(0L, static_cast<long>(seconds + 0.5));
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// The share of the simulated period done: up to the end of a single event,
// or to END_TIME; unknown (-1) otherwise.
double share_done(const Model& model, double start_time) {
    double end = -1.0;
    if (!model.run.long_term && !model.run.host_event_mode && model.period_end > start_time)
        end = model.period_end;
    if (model.run.has_end_time && model.run.end_time > start_time)
        end = end < 0.0 ? model.run.end_time : std::min(end, model.run.end_time);
    if (end < 0.0)
        return -1.0;
    return std::clamp((model.clock.current_time - start_time) / (end - start_time), 0.0, 1.0);
}

}  // namespace

std::string progress_text(int month, int day, int year, int hour, int minute, int second,
                          double share, double wall_seconds) {
    char text[160];
    int n = std::snprintf(text, sizeof text, "model time %2d/%02d/%04d %02d:%02d:%02d", month, day,
                          year, hour, minute, second);
    if (share >= 0.0) {
        n += std::snprintf(text + n, sizeof text - n, "  %5.1f%%", share * 100.0);
    }
    n += std::snprintf(text + n, sizeof text - n, "  wall %s",
                       minutes_and_seconds(wall_seconds).c_str());
    if (share > 0.0)
        std::snprintf(text + n, sizeof text - n, "  left ~%s",
                      minutes_and_seconds(wall_seconds * (1.0 - share) / share).c_str());
    return text;
}

TerminalProgress::TerminalProgress(const Model& model, const RunContext& ctx)
    : started_(Clock::now()), last_drawn_(started_), start_time_(model.clock.start_time) {
    enabled_ =
        !model.run.quiet && !model.run.super_quiet && ctx.out && isatty(fileno(ctx.out)) == 1;
}

void TerminalProgress::update(const Model& model, RunContext& ctx) {
    if (!enabled_)
        return;
    const Clock::time_point now = Clock::now();
    const double wall = std::chrono::duration<double>(now - started_).count();
    if (wall < kFirstAfter ||
        std::chrono::duration<double>(now - last_drawn_).count() < kRedrawEvery)
        return;
    last_drawn_ = now;
    const CalendarTime& t = model.clock.calendar;
    const std::string text =
        progress_text(t.month, t.day, t.year, t.hour, t.minute, model.clock.whole_seconds,
                      share_done(model, start_time_), wall);
    // The line is cleared to its end, as a shorter text follows a longer one.
    std::fprintf(ctx.out, "\r%s\033[K", text.c_str());
    std::fflush(ctx.out);
    ctx.transient_line = true;
}

void TerminalProgress::clear(RunContext& ctx) {
    ctx.clear_transient_line();
}

}  // namespace torva
