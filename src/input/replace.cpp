#include "input/replace.hpp"

#include "run/context.hpp"

namespace torva {

int read_replacement_parameters(RunContext& ctx, const std::string& file_name) {
    (void)ctx;
    (void)file_name;
    return 0;
}

int read_replacement_values(RunContext& ctx, const std::string& file_name) {
    (void)ctx;
    (void)file_name;
    return 0;
}

void report_replacement_values(RunContext& ctx) { (void)ctx; }
void report_replacement_use(RunContext& ctx) { (void)ctx; }

void substitute_tags(RunContext& ctx, std::string& line, std::size_t max_length) {
    (void)ctx;
    (void)line;
    (void)max_length;
}

}  // namespace torva
