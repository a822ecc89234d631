// The project file reader with every card action, including the replacement
// and series files the cards name: input parts are p.prj, params.txt,
// values.txt and series.txt.

#include <memory>

#include "core/context.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "fuzz_support.hpp"
#include "input/project.hpp"
#include "input/replace.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace torva;
    fuzz::enter_scratch_folder();
    const std::vector<std::string> files = fuzz::split_input(data, size, 4);
    fuzz::write_file("p.prj", files[0]);
    fuzz::write_file("params.txt", files[1]);
    fuzz::write_file("values.txt", files[2]);
    fuzz::write_file("series.txt", files[3]);

    RunContext ctx;
    ctx.out = fuzz::null_console();
    ctx.err = fuzz::null_console();
    auto model = std::make_unique<Model>();
    read_project_file(*model, ctx, "p.prj");
    if (!ctx.error.pending())
        derive_run_settings(*model, ctx);
    if (!run_must_stop(ctx)) {
        validate_cards(*model, ctx);
        report_error(ctx);
    }
    if (ctx.replacement.active) {
        report_replacement_values(ctx);
        report_replacement_use(ctx);
    }
    return 0;
}
