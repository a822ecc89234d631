#pragma once
// The channel network of one simulation: links, nodes and structures.

namespace torva {

struct Channel {};

}  // namespace torva
