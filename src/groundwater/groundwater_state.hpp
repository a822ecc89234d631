#pragma once
// The saturated zone of one simulation.

namespace torva {

struct Groundwater {};

}  // namespace torva
