// The tests start as the program does: with threads that sleep while they
// wait, so that the suite keeps its pace on a busy machine.

#include <gtest/gtest.h>

#include "run/thread_policy.hpp"

int main(int argc, char** argv) {
    torva::restart_with_passive_waiting(argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
