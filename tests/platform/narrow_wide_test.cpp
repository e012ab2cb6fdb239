#include "text/narrow_wide.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

class NarrowWide : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (std::setlocale(LC_ALL, GetParam()) == nullptr) GTEST_SKIP() << "no locale " << GetParam();
  }
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_P(NarrowWide, EveryByteStringComesBackAsItWas) {
  const std::string names[] = {
      "clip.avi",
      "caf\xc3\xa9 \xe6\x98\xa0\xe5\x83\x8f.avi",  // UTF-8 text
      "\xf0\x9f\x8e\xac.mp4",                      // outside the BMP: a surrogate pair
      "latin1-\xe9t\xe9.avi",                      // not valid UTF-8
      "\xff\xfe\x80",                              // never valid
      "cut-\xe6\x98",                              // a sequence cut short
      "\xc0\xaf-overlong",                         // an overlong slash
      "\xed\xa0\x80-surrogate",                    // an encoded surrogate
      "\xed\xb2\x80-escape-lookalike",             // the UTF-8 form of an escape code unit
      "",
  };
  for (const std::string& name : names) {
    const std::u16string wide = text::NarrowToWide(name);
    EXPECT_EQ(text::WideToNarrow(wide), name);
  }
}

TEST_P(NarrowWide, TextBecomesItsCharactersAndOtherBytesLoneSurrogates) {
  EXPECT_EQ(text::NarrowToWide("caf\xc3\xa9"), u"caf\u00e9");
  EXPECT_EQ(text::NarrowToWide("\xf0\x9f\x8e\xac"), u"\U0001F3AC");
  EXPECT_EQ(text::NarrowToWide("a\xff"
                               "b"),
            std::u16string(u"a") + char16_t(0xDCFF) + u"b");
  EXPECT_EQ(text::WideToNarrow(u"\u00e9"), "\xc3\xa9");
}

INSTANTIATE_TEST_SUITE_P(Locales, NarrowWide, ::testing::Values("C", "C.UTF-8"),
                         [](const auto& info) { return std::string(info.param[1] ? "CUtf8" : "C"); });

TEST(ConversionBuffers, KeepEveryConversionAlive) {
  USES_CONVERSION;
  LPCWSTR first = T2W("in.avi");
  LPCWSTR second = T2W("out.wmv");
  EXPECT_EQ(std::u16string(first), u"in.avi");
  EXPECT_EQ(std::u16string(second), u"out.wmv");
  EXPECT_EQ(T2W(nullptr), nullptr);
}

}  // namespace
