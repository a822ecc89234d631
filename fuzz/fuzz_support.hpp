#pragma once
// What every fuzz target shares: a scratch folder of its own for the input
// files it writes, a console that discards output, the split of one fuzz
// input into several files, and a quiet context with a replacement tag.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/context.hpp"

namespace torva::fuzz {

// Parts of one input are separated by this line, so one input can hold a
// project file and the files it names.
inline constexpr std::string_view kFileSeparator = "\n=====\n";

// Moves the process into a fresh folder, once; the files written there are
// removed at exit. Memory-backed /dev/shm where there is one: rewriting files
// on a disk costs more than the readers under test.
inline void enter_scratch_folder() {
    static const bool entered = [] {
        static char folder[64];
        std::strcpy(folder, "/dev/shm/torva_fuzz_XXXXXX");
        if (!mkdtemp(folder)) {
            std::strcpy(folder, "/tmp/torva_fuzz_XXXXXX");
            if (!mkdtemp(folder))
                std::abort();
        }
        if (chdir(folder) != 0)
            std::abort();
        std::atexit([] {
            const std::string command = std::string("rm -rf '") + folder + "'";
            if (std::system(command.c_str()) != 0)
                return;
        });
        return true;
    }();
    (void)entered;
}

inline std::FILE* null_console() {
    static std::FILE* console = std::fopen("/dev/null", "w");
    return console;
}

// The input cut at the separator into exactly `count` parts (missing ones empty).
inline std::vector<std::string> split_input(const std::uint8_t* data, std::size_t size,
                                            std::size_t count) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (parts.size() + 1 < count) {
        const std::size_t at = input.find(kFileSeparator, start);
        if (at == std::string_view::npos)
            break;
        parts.emplace_back(input.substr(start, at - start));
        start = at + kFileSeparator.size();
    }
    parts.emplace_back(input.substr(std::min(start, input.size())));
    parts.resize(count);
    return parts;
}

inline void write_file(const char* name, const std::string& text) {
    std::FILE* file = std::fopen(name, "wb");
    if (!file)
        std::abort();
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

// Both consoles discarded and the integer tag [A] declared with `value`, so
// that lines with replacement values are read as well.
inline void quiet_with_tag(RunContext& ctx, int value) {
    ctx.out = null_console();
    ctx.err = null_console();
    ReplacementParameter tag;
    tag.tag = "[A]";
    tag.format = "%d";
    tag.kind = ReplacementParameter::Kind::integer;
    tag.integer_value = value;
    ctx.replacement.parameters.push_back(tag);
    ctx.replacement.active = true;
}

}  // namespace torva::fuzz
