// Writes the fuzzer's seed corpus into the folder given as argument: pictures the program
// saves itself (colour and grey JPEG, WBMP) and JPEG variants made with libjpeg (progressive,
// restart markers, four components, EXIF and JFIF resolution forms).
#include <cstdio>
#include <string>

#include "imaging/CxImage.h"
#include "support/TestPictures.h"

using namespace qelvo;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    int written = 0;
    auto save = [&](CxImage& img, const char* name, int format) {
        written += img.SaveFile((dir + "/" + name).c_str(), format);
    };

    CxImage colour = test::PhotoPicture(48, 32, 1);
    colour.SetQuality(80);
    save(colour, "colour.jpg", FormatJpeg);
    colour.SetXDpi(300);
    colour.SetQuality(20);
    save(colour, "colour-300dpi.jpg", FormatJpeg);

    CxImage grey = test::RandomPicture(17, 9, 8, 2, true);
    save(grey, "grey.jpg", FormatJpeg);

    CxImage mono = test::RandomPicture(21, 7, 1, 3, true);
    save(mono, "mono.wbmp", FormatWbmp);

    auto variant = [&](const char* name, test::JpegRecipe params) {
        test::WriteBytes(dir + "/" + name, test::MakeJpeg(params));
        ++written;
    };
    test::JpegRecipe params;
    params.width = 24;
    params.height = 16;
    variant("plain.jpg", params);
    test::JpegRecipe p = params;
    p.progressive = true;
    variant("progressive.jpg", p);
    test::JpegRecipe r = params;
    r.restartRows = 1;
    variant("restart.jpg", r);
    test::JpegRecipe k = params;
    k.components = 4;
    variant("cmyk.jpg", k);
    test::JpegRecipe g = params;
    g.components = 1;
    g.densityUnit = 2;
    g.xDensity = 40;
    g.yDensity = 20;
    variant("grey-cm.jpg", g);
    test::JpegRecipe a = params;
    a.densityUnit = 0;
    a.xDensity = 2;
    a.yDensity = 3;
    variant("aspect.jpg", a);
    for (int unit : {2, 3, 4, 5}) {
        test::JpegRecipe e = params;
        e.exif = test::ExifPayload(300, 1, 150, 1, unit, unit % 2 == 0);
        variant(("exif-unit" + std::to_string(unit) + ".jpg").c_str(), e);
    }
    std::printf("%d seed files\n", written);
    return 0;
}
