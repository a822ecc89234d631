#include "support/harness.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "core/context.hpp"
#include "run/modes.hpp"

namespace torva::test {
namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("torva_test_" + std::to_string(rd()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path TempDir::write(const std::string& name, const std::string& text) const {
    const fs::path file = path_ / name;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file;
}

std::string TempDir::read(const std::string& name) const {
    return read_file(path_ / name);
}
bool TempDir::exists(const std::string& name) const {
    return fs::exists(path_ / name);
}

std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool full_device_present() {
    std::error_code ec;
    return fs::is_character_file("/dev/full", ec);
}

bool skip_without_full_device(const std::string& row) {
    if (full_device_present())
        return false;
    std::printf("%s: %s\n", kNoFullDevice, row.c_str());
    return true;
}

std::string golden(const std::string& relative) {
    return read_file(fs::path(TORVA_TEST_DATA) / relative);
}

std::string contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    return text;
}

std::FILE* file_with(const std::string& text) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

Console::Console(RunContext& ctx) : ctx_(ctx), out_(std::tmpfile()), err_(std::tmpfile()) {
    ctx.out = out_;
    ctx.err = err_;
}

Console::~Console() {
    std::fclose(out_);
    std::fclose(err_);
}

std::string Console::take() {
    std::string text = contents(out_);
    std::fclose(out_);
    ctx_.out = out_ = std::tmpfile();
    return text;
}

ProgramRun run_program_in(const fs::path& folder, const std::vector<std::string>& args) {
    const fs::path before = fs::current_path();
    fs::current_path(folder);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ProgramRun run;
    run.status = torva::run_program(args, out, err);
    fs::current_path(before);
    run.out = contents(out);
    run.err = contents(err);
    std::fclose(out);
    std::fclose(err);
    return run;
}

double figure(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no line " << label << " in\n" << text;
        return NAN;
    }
    return std::strtod(text.c_str() + at + label.size(), nullptr);
}

void expect_balances_close(const std::string& summary, double tolerance,
                           const std::vector<std::string>& labels) {
    for (const std::string& label : labels)
        EXPECT_LE(std::fabs(figure(summary, label)), tolerance) << label << "\n" << summary;
}

std::string normalise(const std::string& console) {
    static const std::regex threads(R"(\(OpenMP\), \d+ total threads\.)");
    static const std::regex init(R"(total time to init\(s\): +[0-9.]+)");
    static const std::regex run_time(R"((\d+: )?Run time: +[0-9.]+\(s\))");
    // The list of files written at the end of a run has tests of its own;
    // the message tables compare what comes before it.
    static const std::regex files_written(R"(Files written:\n(  [^\n]*\n)*)");
    std::string s = std::regex_replace(console, threads, "(OpenMP), N total threads.");
    s = std::regex_replace(s, files_written, "");
    s = std::regex_replace(s, init, "total time to init(s): T");
    return std::regex_replace(s, run_time, "Run time: T(s)");
}

}  // namespace torva::test
