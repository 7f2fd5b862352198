// Lengths typed by people and printed for them, and the scale bar's choice of length.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "measure/Length.h"
#include "measure/ScaleBar.h"

namespace qelvo::measure {
namespace {

double parsed(std::string_view text, BareNumber bare = BareNumber::Micrometres) {
    std::string error;
    const auto value = parseLength(text, &error, bare);
    EXPECT_TRUE(value) << text << ": " << error;
    return value.value_or(-1.0);
}

std::string refused(std::string_view text, BareNumber bare = BareNumber::Micrometres) {
    std::string error;
    EXPECT_FALSE(parseLength(text, &error, bare)) << text;
    EXPECT_FALSE(error.empty()) << text;
    return error;
}

TEST(Lengths, EveryUnitWithOrWithoutSpace) {
    EXPECT_DOUBLE_EQ(parsed("10um"), 10.0);
    EXPECT_DOUBLE_EQ(parsed(" 10 um "), 10.0);
    EXPECT_DOUBLE_EQ(parsed("10\xC2\xB5m"), 10.0);
    EXPECT_DOUBLE_EQ(parsed("10 \xCE\xBCm"), 10.0);
    EXPECT_DOUBLE_EQ(parsed("3 microns"), 3.0);
    EXPECT_DOUBLE_EQ(parsed("0.01mm"), 10.0);
    EXPECT_DOUBLE_EQ(parsed("2.5 nm"), 0.0025);
    EXPECT_DOUBLE_EQ(parsed("1 cm"), 10000.0);
    EXPECT_DOUBLE_EQ(parsed("1 m"), 1e6);
    EXPECT_DOUBLE_EQ(parsed("1e1um"), 10.0);
    EXPECT_DOUBLE_EQ(parsed(".5mm"), 500.0);
    EXPECT_DOUBLE_EQ(parsed("0,5 mm"), 500.0);  // a decimal comma
}

TEST(Lengths, BareNumberIsMicrometresOnlyWhereAllowed) {
    EXPECT_DOUBLE_EQ(parsed("12.5"), 12.5);
    EXPECT_NE(refused("12.5", BareNumber::Refused).find("unit"), std::string::npos);
    EXPECT_DOUBLE_EQ(parsed("12.5um", BareNumber::Refused), 12.5);
}

TEST(Lengths, BadInputSaysWhy) {
    EXPECT_NE(refused("0um").find("greater than zero"), std::string::npos);
    EXPECT_NE(refused("-5 mm").find("greater than zero"), std::string::npos);
    EXPECT_NE(refused("0").find("greater than zero"), std::string::npos);
    EXPECT_NE(refused("10 in").find("unknown unit \"in\""), std::string::npos);
    EXPECT_NE(refused("10 mmm").find("unknown unit"), std::string::npos);
    EXPECT_NE(refused("").find("no length"), std::string::npos);
    EXPECT_NE(refused("   ").find("no length"), std::string::npos);
    EXPECT_NE(refused("um").find("not a length"), std::string::npos);
    EXPECT_NE(refused("abc").find("not a length"), std::string::npos);
    EXPECT_NE(refused("1.2.3um").find("not a length"), std::string::npos);
    EXPECT_NE(refused("1,2.3um").find("not a length"), std::string::npos);
    refused("nan um");
    refused("inf um");
    refused("1e400 um");
    EXPECT_NE(refused("1e-5 nm").find("too small"), std::string::npos);
    refused("0x10um");
}

TEST(Lengths, ReadTheSameWhateverTheLocale) {
    // A program with a decimal-comma locale still reads and writes points.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale";
    EXPECT_DOUBLE_EQ(parsed("2.5um"), 2.5);
    EXPECT_EQ(formatLength(2.5), "2.5 \xC2\xB5m");
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Lengths, FormattedForPeople) {
    EXPECT_EQ(formatLength(50.0), "50 \xC2\xB5m");
    EXPECT_EQ(formatLength(2.5), "2.5 \xC2\xB5m");
    EXPECT_EQ(formatLength(0.35), "0.35 \xC2\xB5m");
    EXPECT_EQ(formatLength(0.05), "50 nm");
    EXPECT_EQ(formatLength(1200.0), "1.2 mm");
    EXPECT_EQ(formatLength(1000.0), "1 mm");
    EXPECT_EQ(formatLength(999.96), "1 mm");  // rounds into the next unit
    EXPECT_EQ(formatLength(1.234567), "1.235 \xC2\xB5m");
    EXPECT_EQ(formatLength(1.234567, 6, true), "1.23457 um");
    EXPECT_EQ(formatLength(123456.0), "123.5 mm");
}

TEST(ScaleBars, OneTwoFiveStepCoveringTenToTwentyFivePercent) {
    for (double width : {320.0, 640.0, 1000.0, 1280.0, 1920.0, 2592.0, 4000.0})
        for (double size : {0.0, 0.05, 0.1234, 0.5, 1.0, 2.2, 7.77, 13.0}) {
            const ScaleBar bar = chooseScaleBar(width, size);
            const double share = bar.lengthPixels / width;
            EXPECT_GE(share, 0.1 - 1e-9) << width << " " << size;
            EXPECT_LE(share, 0.25 + 1e-9) << width << " " << size;
            double mantissa = bar.length / std::pow(10.0, std::floor(std::log10(bar.length)));
            EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 ||
                        std::fabs(mantissa - 5) < 1e-9)
                << bar.length;
        }
}

TEST(ScaleBars, LabelledInTheirUnit) {
    // 2592 px at 0.5 um: 1296 um wide, 15% = 194 um, so 200 um.
    ScaleBar bar = chooseScaleBar(2592, 0.5);
    EXPECT_DOUBLE_EQ(bar.length, 200.0);
    EXPECT_DOUBLE_EQ(bar.lengthPixels, 400.0);
    EXPECT_EQ(bar.label, "200 \xC2\xB5m");
    EXPECT_EQ(chooseScaleBar(2592, 0.5, true).label, "200 um");
    EXPECT_EQ(chooseScaleBar(1000, 8.0).label, "1 mm");
    EXPECT_EQ(chooseScaleBar(1000, 10.0).label, "1 mm");  // 10% and 20% tie: the shorter
    EXPECT_EQ(chooseScaleBar(1000, 0.002).label, "0.2 \xC2\xB5m");
    EXPECT_EQ(chooseScaleBar(1000, 0.0005).label, "50 nm");
    bar = chooseScaleBar(640, 0.0);
    EXPECT_EQ(bar.label, "100 px");
    EXPECT_DOUBLE_EQ(bar.lengthPixels, 100.0);
    EXPECT_TRUE(chooseScaleBar(0, 1.0).label.empty());
}

}  // namespace
}  // namespace qelvo::measure
