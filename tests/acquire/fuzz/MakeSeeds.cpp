// Writes the flat-field store fuzzer's seeds into a folder:  make_flatfield_store_seeds FOLDER
#include "acquire/fuzz/FlatFieldStoreInput.h"

#include <climits>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    char folder[PATH_MAX];
    if (argc != 2 || !::realpath(argv[1], folder)) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const int written = qelvo::fuzz::writeFlatFieldStoreSeeds(folder);
    std::printf("flatfield-store: %d seed files\n", written);
    return written > 0 ? 0 : 1;
}
