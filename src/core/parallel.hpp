#pragma once
// When a loop over cells is worth the threads.

namespace torva {

// Below this many cells a cell loop runs on one thread: waking the others and
// waiting for them at the loop's end costs more than they save, and on a busy
// machine far more. Each cell's result is the same either way.
inline constexpr int kMinParallelCells = 4096;

}  // namespace torva
