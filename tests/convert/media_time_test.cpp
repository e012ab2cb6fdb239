#include <gtest/gtest.h>

#include "convert/convert_file.h"

namespace {

struct Case {
  REFERENCE_TIME rt;
  int hours, minutes, seconds, ticks;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.rt; }

class FormatMediaTimeCases : public ::testing::TestWithParam<Case> {};

TEST_P(FormatMediaTimeCases, SplitsIntoTheDisplayFields) {
  const Case& c = GetParam();
  const MediaTimeFields f = FormatMediaTime(c.rt);
  EXPECT_EQ(f.nHours, c.hours);
  EXPECT_EQ(f.nMinutes, c.minutes);
  EXPECT_EQ(f.nSeconds, c.seconds);
  EXPECT_EQ(f.nTicks, c.ticks);
}

constexpr REFERENCE_TIME kMs = 10000;

INSTANTIATE_TEST_SUITE_P(
    Table, FormatMediaTimeCases,
    ::testing::Values(Case{0, 0, 0, 0, 0}, Case{9999, 0, 0, 0, 0},  // below a millisecond
                      Case{33 * kMs, 0, 0, 0, 0},                   // ticks are 34 ms
                      Case{34 * kMs, 0, 0, 0, 1},                   //
                      Case{67 * kMs, 0, 0, 0, 1},                   // 67 / 34, where 1000/30 ms would give 2
                      Case{999 * kMs, 0, 0, 0, 29},                 // the last tick of a second
                      Case{(65 * 1000 + 140) * kMs, 0, 1, 5, 4}, Case{200 * 1000 * kMs, 0, 3, 20, 0},  //
                      Case{25LL * 3600 * 1000 * kMs, 25, 0, 0, 0},  // hours go past 24
                      Case{(99LL * 3600 + 59 * 60 + 59) * 1000 * kMs + 999 * kMs, 99, 59, 59, 29},
                      Case{-1 * kMs, 0, 0, 0, 0},                           // truncation toward zero
                      Case{-(61 * 1000 + 500) * kMs, 0, -1, -1, -14},       // negative fields
                      Case{2147483647LL * kMs, 596, 31, 23, 19},            // the last time that fits
                      Case{2147483648LL * kMs, -596, -31, -23, -19},        // 2^31 ms wraps negative
                      Case{4294967296LL * kMs + 1000 * kMs, 0, 0, 1, 0}));  // only the low 32 bits count

}  // namespace
