#include "channel/channel.hpp"

#include "run/context.hpp"
#include "run/model.hpp"

namespace torva {

void read_channel_network(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void set_up_channel_time_series(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void channel_routing_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
