#include "channel/channel.hpp"

#include "core/context.hpp"
#include "core/model_state.hpp"

namespace torva {

void set_up_channel_time_series(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

}  // namespace torva
