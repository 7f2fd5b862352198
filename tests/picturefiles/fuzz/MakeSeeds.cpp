// Writes the seed corpus of one picture-file fuzzer: make_picture_file_seeds png|tiff|jpeg DIR
#include <cstdio>
#include <string>

#include "picturefiles/fuzz/PictureInput.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s png|tiff|jpeg FOLDER\n", argv[0]);
        return 2;
    }
    const std::string kind = argv[1];
    const qelvo::PictureFormat format = kind == "png"    ? qelvo::PictureFormat::Png
                                        : kind == "tiff" ? qelvo::PictureFormat::Tiff
                                                         : qelvo::PictureFormat::Jpeg;
    std::printf("%d seed files\n", qelvo::fuzz::writePictureSeeds(format, argv[2]));
    return 0;
}
