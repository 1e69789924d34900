#include "model/model_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace bxa::model_text {
namespace {

std::string printfFixed(float value, int width, int decimals) {
    char text[400];
    std::snprintf(text, sizeof text, "%*.*f", width, decimals, static_cast<double>(value));
    return text;
}

std::string fastFixed(float value, int width, int decimals) {
    std::string out;
    appendFixed(out, value, width, decimals);
    return out;
}

TEST(FixedFormatTest, MatchesPrintfForRandomBitPatterns) {
    std::mt19937 rng(12345);
    for (int i = 0; i < 200000; ++i) {
        float value = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        ASSERT_EQ(fastFixed(value, 8, 4), printfFixed(value, 8, 4)) << std::bit_cast<uint32_t>(value);
        ASSERT_EQ(fastFixed(value, 12, 6), printfFixed(value, 12, 6)) << std::bit_cast<uint32_t>(value);
    }
}

TEST(FixedFormatTest, MatchesPrintfForModelSizedValues) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> spread(-5000.0f, 5000.0f);
    for (int i = 0; i < 200000; ++i) {
        float value = spread(rng) / static_cast<float>(1 << (i % 24));
        ASSERT_EQ(fastFixed(value, 8, 4), printfFixed(value, 8, 4)) << value;
        ASSERT_EQ(fastFixed(value, 12, 6), printfFixed(value, 12, 6)) << value;
    }
}

TEST(FixedFormatTest, ExactTiesRoundToEvenAndSignsSurviveZero) {
    EXPECT_EQ(fastFixed(0.03125f, 8, 4), "  0.0312");
    EXPECT_EQ(fastFixed(0.09375f, 8, 4), "  0.0938");
    EXPECT_EQ(fastFixed(-0.0f, 8, 4), " -0.0000");
    EXPECT_EQ(fastFixed(-0.00001f, 12, 6), "   -0.000010");
    EXPECT_EQ(fastFixed(0.1079391f, 12, 6), "    0.107939");
    EXPECT_EQ(fastFixed(INFINITY, 8, 4), printfFixed(INFINITY, 8, 4));
    EXPECT_EQ(fastFixed(-NAN, 12, 6), printfFixed(-NAN, 12, 6));
    EXPECT_EQ(fastFixed(3.4028235e38f, 8, 4), printfFixed(3.4028235e38f, 8, 4));
    EXPECT_EQ(fastFixed(1.0e12f, 8, 4), printfFixed(1.0e12f, 8, 4));
}

TEST(IntegerFormatTest, WidthsAndSigns) {
    auto format = [](int64_t v, int w) {
        std::string out;
        appendInteger(out, v, w);
        return out;
    };
    EXPECT_EQ(format(0, 6), "     0");
    EXPECT_EQ(format(-5141, 6), " -5141");
    EXPECT_EQ(format(12345, 3), "12345");
    EXPECT_EQ(format(-2147483648LL, 6), "-2147483648");
    EXPECT_EQ(format(4294967295LL, 6), "4294967295");
    EXPECT_EQ(format(7, 0), "7");
}

TEST(ScannerTest, IntegersKeepTheirLow32Bits) {
    Scanner scan(" 4294967297 -1 99999999999999999999 +12");
    int32_t a = 0, b = 0, c = 0, d = 0;
    EXPECT_TRUE(scan.scanInt(a));
    EXPECT_TRUE(scan.scanInt(b));
    EXPECT_TRUE(scan.scanInt(c));
    EXPECT_TRUE(scan.scanInt(d));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(static_cast<uint32_t>(c), 1661992959u /* 99999999999999999999 mod 2^32 */);
    EXPECT_EQ(d, 12);
}

TEST(ScannerTest, AFailedConversionLeavesItAndTheRestUntouched) {
    Scanner scan("12abc 5");
    int32_t a = 0, b = 0, c = 0;
    EXPECT_TRUE(scan.scanInt(a));
    EXPECT_FALSE(scan.scanInt(b));
    EXPECT_FALSE(scan.scanInt(c));
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 0);

    Scanner sign("- 5");
    int32_t s = 0;
    EXPECT_FALSE(sign.scanInt(s));
    EXPECT_EQ(s, 0);
}

TEST(ScannerTest, FloatsAreTheNearestFloatToTheirText) {
    Scanner scan("0.0594\t-1e3  0x1p-2 2.5x");
    float a = 0, b = 0, c = 0, d = 0, e = 7;
    EXPECT_TRUE(scan.scanFloat(a));
    EXPECT_TRUE(scan.scanFloat(b));
    EXPECT_TRUE(scan.scanFloat(c));
    EXPECT_TRUE(scan.scanFloat(d));
    EXPECT_FALSE(scan.scanFloat(e));
    EXPECT_EQ(a, 0.0594f);
    EXPECT_EQ(b, -1000.0f);
    EXPECT_EQ(c, 0.25f);
    EXPECT_EQ(d, 2.5f);
    EXPECT_EQ(e, 7.0f);
}

TEST(ScannerTest, FloatsMatchStrtofBitForBit) {
    std::mt19937 rng(4242);
    for (int i = 0; i < 300000; ++i) {
        char text[128];
        float source = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        if (i % 3 == 0) source = static_cast<float>(static_cast<int32_t>(rng() % 2000001) - 1000000) / 997.0f;
        const double wide = static_cast<double>(source);
        switch (i % 7) {
        case 0: std::snprintf(text, sizeof text, "%.4f", wide); break;
        case 1: std::snprintf(text, sizeof text, "%.6f", wide); break;
        case 2: std::snprintf(text, sizeof text, "%.9g", wide); break;
        case 3: std::snprintf(text, sizeof text, "%.1f", wide); break;
        case 4: std::snprintf(text, sizeof text, "%.12f", wide); break;
        case 5: std::snprintf(text, sizeof text, "%.3e", wide); break;
        default: std::snprintf(text, sizeof text, "%a", wide); break;
        }
        float fast = 0, slow = std::strtof(text, nullptr);
        Scanner scan(text);
        scan.scanFloat(fast);
        ASSERT_EQ(std::bit_cast<uint32_t>(fast), std::bit_cast<uint32_t>(slow)) << text;
    }
    // Decimals that fall on or next to a midpoint between two floats.
    for (const char* text : {"16777217", "16777217.0", "16777219", "0.1", "3.4028235e38", "1.17549435e-38",
                             "0.000000000000001", "-0", "+.5", "5.", "1e", "0x10", "123456789012345678"}) {
        float fast = 0;
        Scanner scan(text);
        scan.scanFloat(fast);
        EXPECT_EQ(std::bit_cast<uint32_t>(fast), std::bit_cast<uint32_t>(std::strtof(text, nullptr))) << text;
    }
}

TEST(ScannerTest, LabelledIntegers) {
    EXPECT_EQ(scanLabelledInt("NumVertices:      3"), 3);
    EXPECT_EQ(scanLabelledInt("numFaces:    -12"), -12);
    EXPECT_EQ(scanLabelledInt("Vertices:"), 0);
    EXPECT_EQ(scanLabelledInt(""), 0);
    EXPECT_EQ(scanLabelledInt("7"), 0);  // the word takes the only number
    // The word takes at most 127 characters; the number conversion goes on from there.
    EXPECT_EQ(scanLabelledInt(std::string(127, 'w') + "42"), 42);
    EXPECT_EQ(scanLabelledInt(std::string(128, 'w') + " 42"), 0);
}

TEST(NameTest, StoreCutsAndPads) {
    uint8_t field[4];
    storeName(field, sizeof field, "ab");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 4), std::string("ab\0\0", 4));
    storeName(field, sizeof field, "abcdef");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 4), "abcd");
    EXPECT_EQ(skipLeadingSpaces("  \tx "), "\tx ");
    EXPECT_EQ(skipLeadingSpaces("   "), "");
    EXPECT_FALSE(afterFirstColon("no colon").has_value());
    EXPECT_EQ(afterFirstColon("a:b:c").value(), "b:c");
}

}  // namespace
}  // namespace bxa::model_text
