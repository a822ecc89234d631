#pragma once
// The overland lakes of one simulation.

namespace torva {

struct Lakes {};

}  // namespace torva
