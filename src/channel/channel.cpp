#include "channel/channel.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void read_channel_network(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void set_up_channel_time_series(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
