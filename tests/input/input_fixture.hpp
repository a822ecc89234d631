#pragma once
// A context whose console is captured, and a folder for the input files of one
// test; shared by the input readers' tests.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/context.hpp"
#include "support/harness.hpp"

namespace torva::testing {

class InputTest : public ::testing::Test {
  protected:
    void TearDown() override {
        if (ctx_.summary)
            std::fclose(ctx_.summary);
    }

    std::string write(const std::string& name, const std::string& text) {
        return dir_.write(name, text).string();
    }
    std::string path(const std::string& name) const { return dir_.file(name); }

    static std::string contents(std::FILE* file) { return test::contents(file); }
    // The console output so far; clears it for the next check.
    std::string console() { return capture_.take(); }

    test::TempDir dir_;
    RunContext ctx_;
    test::Console capture_{ctx_};
};

}  // namespace torva::testing
