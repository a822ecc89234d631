#pragma once
// A context whose console is captured, and a folder for the input files of one
// test; shared by the input readers' tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/context.hpp"
#include "support/harness.hpp"

namespace torva::testing {

class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("torva_input_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (ctx_.summary)
            std::fclose(ctx_.summary);
        std::filesystem::remove_all(dir_);
    }

    std::string write(const std::string& name, const std::string& text) {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static std::string contents(std::FILE* file) { return test::contents(file); }
    // The console output so far; clears it for the next check.
    std::string console() { return capture_.take(); }

    std::filesystem::path dir_;
    RunContext ctx_;
    test::Console capture_{ctx_};
};

}  // namespace torva::testing
