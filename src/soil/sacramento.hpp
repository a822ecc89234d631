#pragma once
// Sacramento soil moisture accounting over one interval, and its coupling to
// the long-term time loop.

#include "soil/sacramento_state.hpp"

namespace torva {

struct Model;
struct RunContext;

// Storage of the stores, mm over the whole watershed area.
double sacramento_storage(const SacramentoParameters& par, const SacramentoStores& s);

// Advances the stores over one interval of `dt_days` days that receives the
// depth `input` (mm) and meets the evapotranspiration demand `demand` (mm).
// The parameters must have passed the reader's range checks.
SacramentoFlows sacramento_interval(const SacramentoParameters& par, SacramentoStores& s,
                                    double input, double demand, double dt_days);

}  // namespace torva
