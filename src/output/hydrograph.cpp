#include "output/hydrograph.hpp"

#include "run/context.hpp"
#include "run/model.hpp"
#include "run/output_files.hpp"

namespace torva {

void open_run_files(Model& model, RunContext& ctx) {
    const std::string& summary_name = model.project.text(Card::SUMMARY);
    if (!summary_name.empty()) {
        model.output.summary = open_output_file(ctx, summary_name, Numbering::numbered);
        if (!model.output.summary) {
            ctx.error.raise(err::open_output_file, {.text2 = output_path(ctx, summary_name, Numbering::numbered)});
            return;
        }
        ctx.summary = model.output.summary;
    }
}

void write_link_node_headers(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void hydrograph_output_phase(Model& model, RunContext& ctx) {
    (void)model;
    (void)ctx;
}

void close_run_files(Model& model, RunContext& ctx) {
    if (model.output.summary) std::fclose(model.output.summary);
    model.output.summary = nullptr;
    ctx.summary = nullptr;
}

}  // namespace torva
