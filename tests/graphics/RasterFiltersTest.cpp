// Logical line filters: every variant of the six routines over runs of
// several lengths and alignments, with guard words on both sides.
#include <gtest/gtest.h>

#include "RasterTestSupport.h"
#include "graphics/Raster_Filters.h"

namespace velkor {
namespace {

using namespace Raster_Filters;

constexpr TColor32 kGuard = 0xDEADBEEF;
constexpr std::uint32_t kMask = 0xA5C3F00F;

struct Op {
  int id;
  std::uint32_t (*apply)(std::uint32_t, std::uint32_t);
  bool inPlace;
};
const Op kOps[] = {
    {FID_AndWords, [](std::uint32_t a, std::uint32_t m) { return a & m; }, true},
    {FID_OrWords, [](std::uint32_t a, std::uint32_t m) { return a | m; }, true},
    {FID_XorWords, [](std::uint32_t a, std::uint32_t m) { return a ^ m; }, true},
    {FID_AndWordsTo, [](std::uint32_t a, std::uint32_t m) { return a & m; }, false},
    {FID_OrWordsTo, [](std::uint32_t a, std::uint32_t m) { return a | m; }, false},
    {FID_XorWordsTo, [](std::uint32_t a, std::uint32_t m) { return a ^ m; }, false},
};

void CallBound(const Op& op, const TColor32* src, TColor32* dst, int count) {
  const TLogicalOp inPlace[] = {AndWords, OrWords, XorWords};
  const TLogicalOpTo to[] = {AndWordsTo, OrWordsTo, XorWordsTo};
  if (op.inPlace)
    inPlace[op.id](dst, kMask, count);
  else
    to[op.id - FID_AndWordsTo](src, dst, count, kMask);
}

TEST(LogicalFilters, EveryVariantCombinesExactlyTheRun) {
  test::StartRaster();
  const auto colors = test::SampleColors(80, 5);
  for (const Op& op : kOps) {
    const auto variants = FilterRegistry->Variants(op.id);
    for (std::size_t v = 0; v < variants.size(); ++v) {
      test::ForcedVariant forced(*FilterRegistry, op.id, variants[v]);
      SCOPED_TRACE(test::VariantName(op.id, v, variants[v]));
      // Lengths around the 16-pixel blocks; start offsets that misalign the
      // destination against the 16-byte streaming boundary, and a source
      // misaligned against the destination.
      for (int count : {-1, 0, 1, 3, 15, 16, 17, 33, 64, 77})
        for (int dstOffset = 0; dstOffset < 4; ++dstOffset)
          for (int srcOffset : {0, 3}) {
            alignas(16) TColor32 src[96], dst[96];
            for (int i = 0; i < 96; ++i) src[i] = colors[i % colors.size()];
            std::fill(std::begin(dst), std::end(dst), kGuard);
            for (int i = 0; i < 80; ++i) dst[dstOffset + 1 + i] = colors[(i * 5 + 1) % colors.size()];
            TColor32 expected[96];
            std::copy(std::begin(dst), std::end(dst), expected);
            TColor32* d = dst + dstOffset + 1;
            const TColor32* s = src + srcOffset;
            for (int i = 0; i < count; ++i) expected[dstOffset + 1 + i] = op.apply(op.inPlace ? d[i] : s[i], kMask);
            CallBound(op, s, d, count);
            ASSERT_TRUE(std::equal(std::begin(dst), std::end(dst), expected))
                << "count " << count << " dst offset " << dstOffset << " src offset " << srcOffset;
          }
    }
  }
}

TEST(LogicalFilters, XorTwiceRestoresAndAndToWorksInPlace) {
  test::StartRaster();
  std::vector<TColor32> run = test::SampleColors(40, 9);
  const std::vector<TColor32> original = run;
  XorWords(run.data(), 0xA5A5A5A5, int(run.size()));
  EXPECT_NE(run, original);
  XorWords(run.data(), 0xA5A5A5A5, int(run.size()));
  EXPECT_EQ(run, original);

  AndWordsTo(run.data(), run.data(), int(run.size()), 0x00FFFFFF);
  for (std::size_t i = 0; i < run.size(); ++i) EXPECT_EQ(run[i], original[i] & 0x00FFFFFF);
}

}  // namespace
}  // namespace velkor
