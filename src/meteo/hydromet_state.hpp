#pragma once
// The hourly weather of one simulation.

namespace torva {

struct Hydromet {};

}  // namespace torva
