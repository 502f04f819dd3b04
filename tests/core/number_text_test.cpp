#include "app/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(NumberText, LeadingNumberIsReadLeniently) {
  struct Row {
    const char* text;
    double value;
  };
  const Row rows[] = {
      {"", 0},        {"abc", 0},        {"12abc", 12},     {" 7", 7},        {"1 2", 12},
      {"\t4\n", 4},   {"4.4", 4.4},      {"-3", -3},        {"+5", 5},        {"- 3", -3},
      {"1.2.3", 1.2}, {"&H1F", 31},      {"&h10", 16},      {"&O17", 15},     {"&O19", 1},
      {"&Hxyz", 0},   {"&", 0},          {".5", 0.5},       {"5.", 5},        {"1e3", 1},
      {"--1", 0},     {"3,5", 3},        {"\r5", 0},
  };
  for (const Row& r : rows) EXPECT_DOUBLE_EQ(leadingNumber(r.text), r.value) << '"' << r.text << '"';
}

TEST(NumberText, HugeTextsDoNotThrow) {
  const std::string many(400, '9');
  EXPECT_TRUE(std::isinf(leadingNumber(many)));
  EXPECT_FALSE(roundToInt16(leadingNumber(many)));
  EXPECT_FALSE(roundToInt16(leadingNumber("&H" + std::string(40, 'F'))));
}

TEST(NumberText, RoundsHalvesToTheEvenNeighbour) {
  struct Row {
    double in;
    int out;
  };
  for (const Row r : {Row{2.5, 2}, Row{3.5, 4}, Row{4.5, 4}, Row{5.5, 6}, Row{4.4, 4},
                      Row{-2.5, -2}, Row{-3.5, -4}, Row{0.5, 0}, Row{1.5, 2}, Row{2.6, 3}}) {
    ASSERT_TRUE(roundToInt16(r.in));
    EXPECT_EQ(*roundToInt16(r.in), r.out) << r.in;
  }
}

TEST(NumberText, SixteenBitRange) {
  EXPECT_EQ(roundToInt16(32767), 32767);
  EXPECT_EQ(roundToInt16(-32768), -32768);
  EXPECT_EQ(roundToInt16(32767.4), 32767);
  EXPECT_FALSE(roundToInt16(32767.5));  // rounds to 32768
  EXPECT_FALSE(roundToInt16(-32768.6));
  EXPECT_FALSE(roundToInt16(NAN));
}

TEST(NumberText, WholeTextForPaletteValues) {
  EXPECT_EQ(wholeNumber("255"), 255);
  EXPECT_EQ(wholeNumber(" 10 "), 10);
  EXPECT_EQ(wholeNumber("2.5"), 2.5);
  EXPECT_EQ(wholeNumber("&HFF"), 255);
  for (const char* bad : {"", "-", "7a", "a7", "1 2x", ".", "+"})
    EXPECT_FALSE(wholeNumber(bad)) << '"' << bad << '"';
  EXPECT_EQ(roundToByte(255), 255);
  EXPECT_EQ(roundToByte(2.5), 2);
  EXPECT_EQ(roundToByte(-0.4), 0);
  EXPECT_FALSE(roundToByte(256));
  EXPECT_FALSE(roundToByte(-1));
  EXPECT_FALSE(roundToByte(255.5));  // rounds to 256
}
