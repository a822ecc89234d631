#include <string>
#include <vector>

#include "run/modes.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return torva::run_program(args);
}
