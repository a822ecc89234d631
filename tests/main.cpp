// The tests start as the program does: waiting threads sleep at once on a
// busy machine, so that the suite keeps its pace there.

#include <gtest/gtest.h>

#include "run/thread_policy.hpp"

int main(int argc, char** argv) {
    torva::start_with_chosen_waiting(argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
