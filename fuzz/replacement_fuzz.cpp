// The replacement parameter and value files and the substitution of the line
// reader: input parts are the parameter file, the value file and a text whose
// lines are read with replacement active. The first byte picks the value line.

#include "core/context.hpp"
#include "fuzz_support.hpp"
#include "input/replace.hpp"
#include "input/tokens.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace torva;
    if (size == 0)
        return 0;
    fuzz::enter_scratch_folder();
    const std::vector<std::string> files = fuzz::split_input(data + 1, size - 1, 3);
    fuzz::write_file("params.txt", files[0]);
    fuzz::write_file("values.txt", files[1]);
    fuzz::write_file("text.txt", files[2]);

    RunContext ctx;
    ctx.out = fuzz::null_console();
    ctx.err = fuzz::null_console();
    ctx.replace_line = data[0] % 4;
    read_replacement_parameters(ctx, "params.txt");
    read_replacement_values(ctx, "values.txt");

    std::FILE* text = std::fopen("text.txt", "r");
    LineReader reader(text, ctx);
    std::string line;
    while (reader.next(line)) {
        // A short limit as well, so that refusals are reached on small inputs.
        std::string copy = line;
        substitute_tags(ctx, copy, 64);
        if (copy.size() > 64 && copy != line)
            std::abort();
    }
    std::fclose(text);
    report_replacement_values(ctx);
    report_replacement_use(ctx);
    return 0;
}
