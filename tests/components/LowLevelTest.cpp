#include "components/LowLevel.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

namespace velkor::LowLevel {
namespace {

TEST(LowLevelTest, BoundUpdates) {
  int x = 5;
  SetIfSmaller(x, 7);
  EXPECT_EQ(x, 5);
  SetIfSmaller(x, -3);
  EXPECT_EQ(x, -3);
  SetIfLarger(x, -4);
  EXPECT_EQ(x, -3);
  SetIfLarger(x, 9);
  EXPECT_EQ(x, 9);
}

TEST(LowLevelTest, MulDivRoundedTable) {
  constexpr int kMax = std::numeric_limits<int>::max();
  constexpr int kMin = std::numeric_limits<int>::min();
  struct Case {
    int a, b, c, expected;
    const char* why;
  };
  const Case cases[] = {
      {1, 128, 3, 43, "42.67 rounds up"},
      {5, 1, 2, 3, "half away from zero"},
      {-5, 1, 2, -3, "half away from zero, negative"},
      {5, -1, -2, 3, "two negatives"},
      {4, 1, 3, 1, "1.33 rounds down"},
      {2, 1, 3, 1, "0.67 rounds up"},
      {0, 9, 7, 0, "zero product"},
      {7, 9, 0, -1, "division by zero"},
      {0, 0, 0, -1, "division by zero, zero product"},
      {kMax, 1, 1, kMax, "largest quotient"},
      {-kMax, 1, 1, -kMax, "largest negative magnitude"},
      {kMax, 2, 2, kMax, "64-bit product"},
      {65536, 32768, 1, -1, "2^31 does not fit"},
      {kMin, 1, 1, -1, "|int min| does not fit"},
      {kMin, kMin, 1, -1, "2^62"},
      {kMax, kMax, kMax, kMax, "cancels"},
      {kMax, 3, 2, -1, "1.5 * max"},
      {1073741824, 3, 2, 1610612736, "product beyond 32 bits, quotient inside"},
      {65535, 65537, 2, -1, "2147483647.5 rounds up across the limit"},
      {65535, 65537, 3, 1431655765, "(2^32 - 1) / 3"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MulDivRounded(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c << ": " << c.why;
}

struct FillVariant {
  const char* name;
  TFillLongwordProc proc;
};

class FillLongwordTest : public ::testing::TestWithParam<FillVariant> {};

TEST_P(FillLongwordTest, StoresExactlyCountWords) {
  const TFillLongwordProc fill = GetParam().proc;
  constexpr std::uint32_t kGuard = 0xDEADBEEF;
  constexpr std::uint32_t kValue = 0x80FF4020;
  for (const std::uint32_t count : {0u, 1u, 2u, 3u, 31u, 32u, 33u, 35u, 64u, 67u}) {
    // Offsets in words from a 16-byte boundary: aligned, 4 bytes past it and
    // 12 bytes past it.
    for (const std::size_t offset : {std::size_t(0), std::size_t(1), std::size_t(3)}) {
      alignas(16) std::array<std::uint32_t, 80> buffer;
      buffer.fill(kGuard);
      std::uint32_t* dest = buffer.data() + 4 + offset;
      fill(dest, count, kValue);
      for (std::size_t i = 0; i < buffer.size(); ++i) {
        const bool inside = &buffer[i] >= dest && &buffer[i] < dest + count;
        ASSERT_EQ(buffer[i], inside ? kValue : kGuard)
            << GetParam().name << " count " << count << " offset " << offset << " word " << i;
      }
    }
  }
}

TEST_P(FillLongwordTest, UnalignedDestination) {
  // A destination that is not even 4-byte aligned takes the plain store.
  alignas(16) std::array<std::uint8_t, 4 * 48> bytes{};
  auto* dest = reinterpret_cast<std::uint32_t*>(bytes.data() + 2);
  GetParam().proc(dest, 40, 0x01020304);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool inside = i >= 2 && i < 2 + 160;
    const std::uint8_t expected = inside ? std::uint8_t(4 - (i - 2) % 4) : 0;
    ASSERT_EQ(bytes[i], expected) << GetParam().name << " byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, FillLongwordTest,
                         ::testing::Values(FillVariant{"Pas", FillLongwordPas},
                                           FillVariant{"MMX", FillLongwordMMX},
                                           FillVariant{"SSE2", FillLongwordSSE2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LowLevelTest, BindingPicksSSE2OnThisMachine) {
  BindFillLongword();
  // x86-64 always has SSE2.
  EXPECT_EQ(FillLongword, &FillLongwordSSE2);
}

TEST(LowLevelTest, MoveLongwords) {
  std::vector<std::uint32_t> source{1, 2, 3, 4, 5};
  std::vector<std::uint32_t> dest(6, 0xAAAAAAAA);
  MoveLongwords(source.data(), dest.data(), 5);
  EXPECT_EQ(dest, (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 0xAAAAAAAA}));
  MoveLongwords(source.data(), source.data(), 5);
  EXPECT_EQ(source, (std::vector<std::uint32_t>{1, 2, 3, 4, 5}));
  MoveLongwords(source.data(), dest.data(), 0);
  MoveLongwords(source.data(), dest.data(), -3);
  EXPECT_EQ(dest[0], 1u);
}

}  // namespace
}  // namespace velkor::LowLevel
