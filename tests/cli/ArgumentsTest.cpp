#include "cli/Arguments.h"
#include "cli/CameraWork.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "cli/fuzz/ArgumentsInput.h"
#include "support/FuzzSupport.h"
#include "support/TempFolder.h"

namespace qelvo::cli {
namespace {

const CommandSyntax kSpec{"convert",
                          "IN",
                          1,
                          1,
                          {{"--output", "-o", true, "OUT", true},
                           {"--pixel-size", "", true, "LENGTH", false},
                           {"--quiet", "", false, "", false}}};

std::optional<Arguments> parse(std::vector<std::string> args, std::string* error = nullptr) {
    std::string why;
    auto parsed = parseArguments(kSpec, args, why);
    if (error) *error = why;
    return parsed;
}

TEST(Arguments, ValuesInEitherFormTheLastOneWinsAndDashDashEndsOptions) {
    auto a = parse({"in.png", "-o", "a.tif", "--pixel-size=2um", "--output", "b.tif", "--quiet"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->operands, std::vector<std::string>{"in.png"});
    EXPECT_EQ(a->value("--output"), "b.tif");
    EXPECT_EQ(a->value("--pixel-size"), "2um");
    EXPECT_TRUE(a->has("--quiet"));
    auto b = parse({"-o", "x.png", "--", "-odd name.png"});
    ASSERT_TRUE(b);
    EXPECT_EQ(b->operands, std::vector<std::string>{"-odd name.png"});
    EXPECT_EQ(usageLine(kSpec), "qelvo convert IN -o OUT [--pixel-size LENGTH] [--quiet]");
}

TEST(Arguments, EveryFaultIsOneReason) {
    std::string error;
    EXPECT_FALSE(parse({"in.png"}, &error));
    EXPECT_EQ(error, "-o OUT is required");
    EXPECT_FALSE(parse({"-o", "x.png"}, &error));
    EXPECT_EQ(error, "missing IN");
    EXPECT_FALSE(parse({"a.png", "b.png", "-o", "x.png"}, &error));
    EXPECT_EQ(error, "unexpected argument \"b.png\"");
    EXPECT_FALSE(parse({"a.png", "-o"}, &error));
    EXPECT_EQ(error, "--output needs a value (OUT)");
    EXPECT_FALSE(parse({"a.png", "-o", ""}, &error));
    EXPECT_EQ(error, "--output needs a value (OUT)");
    EXPECT_FALSE(parse({"a.png", "-o", "x.png", "--pixel-size="}, &error));
    EXPECT_EQ(error, "--pixel-size needs a value (LENGTH)");
    EXPECT_FALSE(parse({"a.png", "-o", "x.png", "--colour", "red"}, &error));
    EXPECT_EQ(error, "unknown option --colour");
    EXPECT_FALSE(parse({"a.png", "-o", "x.png", "--quiet=yes"}, &error));
    EXPECT_EQ(error, "--quiet takes no value");
    EXPECT_FALSE(parse({"a\xff.png", "-o", "x.png"}, &error));
    EXPECT_EQ(error, "an argument is not valid UTF-8 text");
    // --help needs nothing else.
    auto help = parse({"--help"});
    ASSERT_TRUE(help);
    EXPECT_TRUE(help->help);
}

TEST(Arguments, Utf8CheckRefusesOverlongSurrogatesAndCutSequences) {
    EXPECT_TRUE(isValidUtf8("10\xC2\xB5m \xE2\x82\xAC \xF0\x9F\x94\xAC"));
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));          // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));      // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("ab\xE2\x82"));        // cut short
    EXPECT_FALSE(isValidUtf8("\x80"));
}

TEST(Arguments, CameraValuesAreReadStrictly) {
    EXPECT_EQ(parseResolution("1920x1080"), std::make_pair(1920, 1080));
    EXPECT_EQ(parseResolution("640X480"), std::make_pair(640, 480));
    for (const char* bad : {"", "x", "640", "640x", "x480", "0x480", "-640x480", "640x480x2",
                            "99999x480", " 640x480", "6.4x480"})
        EXPECT_FALSE(parseResolution(bad)) << bad;
    EXPECT_EQ(parseWhole("16", 1, 256), 16);
    for (const char* bad : {"0", "257", "-1", "+3", "1e2", "", "99999999999999"})
        EXPECT_FALSE(parseWhole(bad, 1, 256)) << bad;
    EXPECT_EQ(parseSeconds("0.1"), 0.1);
    EXPECT_EQ(parseSeconds("60"), 60.0);
    for (const char* bad : {"0", "0.0", "-1", "1e3", "inf", "nan", ".", "1..2", "", "1s"})
        EXPECT_FALSE(parseSeconds(bad)) << bad;
}

// The fuzzer's seeds and kept findings go through its own check.
TEST(Arguments, FuzzSeedsAndKeptFindingsReadSoundly) {
    test::TempFolder seeds;
    EXPECT_EQ(fuzz::writeArgumentSeeds(seeds.path()), 9);
    for (const std::string& folder : {seeds.path(), std::string(QELVO_CLI_FUZZ_REGRESSIONS)})
        for (const auto& [file, bytes] : fuzz::folderFiles(folder))
            EXPECT_EQ(fuzz::checkArgumentsInput(bytes), "") << file;
}

}  // namespace
}  // namespace qelvo::cli
