#pragma once
// The analyzer list of one simulation.

namespace torva {

struct Analyzers {};

}  // namespace torva
