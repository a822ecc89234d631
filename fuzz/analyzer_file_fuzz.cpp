// The analyzer file reader, then every analyzer it made set up on a small
// network and told of every moment of a run. The input is the analyzer file;
// the tag [A] is declared, so lines with replacement values are read as well.
// Report files are not opened: the input names them, anywhere.

#include <memory>

#include "channel/channel_state.hpp"
#include "core/context.hpp"
#include "core/model_state.hpp"
#include "fuzz_support.hpp"
#include "output/analyzers.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace torva;
    fuzz::enter_scratch_folder();
    fuzz::write_file("a.anl", std::string(reinterpret_cast<const char*>(data), size));

    RunContext ctx;
    fuzz::quiet_with_tag(ctx, 3);

    auto model = std::make_unique<Model>();
    model->project[Card::ANALYZERS].given = true;
    model->project[Card::ANALYZERS].text = "a.anl";
    model->project[Card::CHANNEL_INPUT].given = true;
    read_analyzer_file(*model, ctx);
    if (ctx.error.pending())
        return 0;
    for (Analyzer& a : model->analyzers.list) a.reports &= ~kReportFile;

    // Link 1 of two nodes into link 2 of three; a link of no nodes.
    Channel& ch = model->channel;
    ch.links = 3;
    ch.max_nodes = 3;
    ch.link.assign(4, ChannelLink{});
    ch.link[1].nodes = 2;
    ch.link[2].nodes = 3;
    for (NodeArray<double>* array : {&ch.yp, &ch.bel, &ch.qp, &ch.area})
        array->assign(ch.max_nodes, ch.links, 1.0);
    ch.qp(2, 1) = 0.0;
    ch.bel(3, 2) = 2.0;
    model->clock.current_time = 2451545.0;
    set_up_analyzers(*model, ctx);
    for (int moment : {kInitFinished, kEventBegan, kStepFinished, kStepFinished, kEventEnded,
                       kRunFinished, kRunFailed}) {
        notify_analyzers(*model, ctx, moment);
        model->clock.current_time += 1.0 / 1440.0;
    }
    close_analyzers(*model, ctx);
    return 0;
}
