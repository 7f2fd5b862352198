// libFuzzer target: loading untrusted picture files (JPEG and WBMP paths), and writing
// back whatever loaded. Built only by scripts/fuzz.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "imaging/CxImage.h"

namespace {

const std::string& InputPath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/qelvo-fuzz-input-" +
               std::to_string(::getpid());
    }();
    return path;
}

void EncodeToNowhere(qelvo::CxImage& img) {
    if (std::FILE* sink = std::fopen("/dev/null", "wb")) {
        img.SetQuality(80);
        img.Encode(sink, qelvo::FormatJpeg);
        img.Encode(sink, qelvo::FormatWbmp);
        std::fclose(sink);
    }
}

// Inputs whose frame header claims a picture of more than 4 megapixels are skipped: decoding
// one takes seconds under the sanitizers and starves the search. Huge sizes are covered by
// the unit tests (the size limit refuses them before allocating).
bool ClaimsHugeJpeg(const std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + 8 < size; ++i) {
        if (data[i] != 0xFF) continue;
        const std::uint8_t m = data[i + 1];
        if (m < 0xC0 || m > 0xCF || m == 0xC4 || m == 0xC8 || m == 0xCC) continue;
        const std::uint64_t h = data[i + 5] << 8 | data[i + 6];
        const std::uint64_t w = data[i + 7] << 8 | data[i + 8];
        if (w * h > (std::uint64_t{1} << 22)) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (ClaimsHugeJpeg(data, size)) return 0;
    const std::string& path = InputPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    // JPEG first, falling back to every reader; then WBMP first.
    for (int format : {qelvo::FormatJpeg, qelvo::FormatWbmp}) {
        qelvo::CxImage img;
        if (img.LoadFile(path.c_str(), format)) {
            if (img.Width() <= 0 || img.Height() <= 0 || !img.RowBits(img.Height() - 1))
                __builtin_trap();
            if (static_cast<std::uint64_t>(img.Width()) * img.Height() <= 1u << 20)
                EncodeToNowhere(img);
        }
    }
    return 0;
}
