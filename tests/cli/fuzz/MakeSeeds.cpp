// Writes the seed corpus of the command-line fuzzer into the folder given.
#include <cstdio>

#include "cli/fuzz/ArgumentsInput.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::printf("%d seed files\n", qelvo::fuzz::writeArgumentSeeds(argv[1]));
    return 0;
}
