#include "graphics/Raster_Transforms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace velkor::Raster_Transforms {
namespace {

// Moves every point by a fixed offset and scales it; counts its
// preparations. The reverse mapping exists only when asked for.
class TShiftTransformation : public TTransformation {
 public:
  float Dx = 0.5f, Dy = 0, Scale = 1;
  bool HasReverse = true;
  int Preparations = 0;

  static const TClassInfo& StaticClass() {
    static const TClassInfo info{"TShiftTransformation", &TTransformation::StaticClass(),
                                 [] { return New<TShiftTransformation>(); }, {}};
    return info;
  }
  const TClassInfo& ClassType() const override { return StaticClass(); }

 protected:
  void PrepareForTransform() override {
    ++Preparations;
    TransformValid = true;
  }
  void TransformFloatPoint(float SrcX, float SrcY, float& DstX, float& DstY) override {
    DstX = SrcX * Scale + Dx;
    DstY = SrcY * Scale + Dy;
  }
  void ReverseTransformFloatPoint(float DstX, float DstY, float& SrcX, float& SrcY) override {
    if (!HasReverse) TTransformation::ReverseTransformFloatPoint(DstX, DstY, SrcX, SrcY);
    SrcX = (DstX - Dx) / Scale;
    SrcY = (DstY - Dy) / Scale;
  }
};

class TransformationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Raster_System::Startup();
    Startup();
  }
};

TEST_F(TransformationTest, TheBareBaseRaisesNamingItsClass) {
  auto t = New<TTransformation>();
  try {
    t->Transform(TFloatPoint{1, 2});
    FAIL() << "no error";
  } catch (const ETransformNotImplemented& e) {
    EXPECT_STREQ(e.what(), "Forward transformation is not implemented in TTransformation.");
  }
  EXPECT_THROW(t->Transform(TPoint{1, 2}), ETransformNotImplemented);
  EXPECT_THROW(t->Transform(TFixedPoint{1, 2}), ETransformNotImplemented);
  try {
    t->ReverseTransform(TPoint{1, 2});
    FAIL() << "no error";
  } catch (const ETransformNotImplemented& e) {
    EXPECT_STREQ(e.what(), "Reverse transformation is not implemented in TTransformation.");
  }

  auto shift = New<TShiftTransformation>();
  shift->HasReverse = false;
  try {
    shift->ReverseTransform(TFloatPoint{1, 2});
    FAIL() << "no error";
  } catch (const ETransformNotImplemented& e) {
    EXPECT_STREQ(e.what(), "Reverse transformation is not implemented in TShiftTransformation.");
  }
}

TEST_F(TransformationTest, IntegerPointsGoThroughFixedPointAndHalvesRoundDown) {
  auto t = New<TShiftTransformation>();  // x + 0.5
  struct Case {
    int X;
    int Expected;
  };
  const Case cases[] = {{2, 2}, {3, 3}, {-3, -3}, {0, 0}, {32767, 32767}};
  for (const Case& c : cases) {
    EXPECT_EQ(t->Transform(TPoint{c.X, 7}), (TPoint{c.Expected, 7})) << c.X << " + 0.5";
  }
  // Reverse: x - 0.5, again rounding the half down.
  EXPECT_EQ(t->ReverseTransform(TPoint{3, 0}), (TPoint{2, 0}));

  EXPECT_EQ(t->Transform(TFixedPoint{IntToFixed(2), 0}), (TFixedPoint{IntToFixed(2) + 0x8000, 0}));
  EXPECT_EQ(t->Transform(TFloatPoint{2.25f, 1}), (TFloatPoint{2.75f, 1}));
}

TEST_F(TransformationTest, IntegerPointsBeyondTheFixedRangeDoNotWrap) {
  auto t = New<TShiftTransformation>();
  t->Scale = 0.5f;
  t->Dx = 0;
  // 100001 / 2 = 50000.5 rounds down to 50000; -70001 / 2 = -35000.5 to -35001.
  EXPECT_EQ(t->Transform(TPoint{100001, -70001}), (TPoint{50000, -35001}));
  EXPECT_EQ(t->ReverseTransform(TPoint{50000, -35001}), (TPoint{100000, -70002}));
  EXPECT_EQ(t->Transform(TPoint{40000, 2}), (TPoint{20000, 1}));
}

TEST_F(TransformationTest, EveryChangeMakesTheNextTransformPrepareAgain) {
  auto t = New<TShiftTransformation>();
  int changes = 0;
  t->OnChange = [&](TObject*) { ++changes; };

  t->Transform(TPoint{0, 0});
  t->Transform(TFloatPoint{0, 0});
  t->ReverseTransform(TFixedPoint{0, 0});
  EXPECT_EQ(t->Preparations, 1);
  EXPECT_TRUE(t->TransformValid);

  t->SetSrcRect(TFloatRect{1, 2, 3, 4});
  EXPECT_FALSE(t->TransformValid);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(t->SrcRect(), (TFloatRect{1, 2, 3, 4}));
  t->Transform(TFixedPoint{0, 0});
  EXPECT_EQ(t->Preparations, 2);

  // A change made while reports are suspended still invalidates.
  t->BeginUpdate();
  t->SetSrcRect(TFloatRect{0, 0, 8, 8});
  t->EndUpdate();
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(t->TransformValid);
  t->ReverseTransform(TFloatPoint{0, 0});
  EXPECT_EQ(t->Preparations, 3);
}

TEST_F(TransformationTest, TheBaseBoundsAreTheSourceRectangle) {
  auto t = New<TTransformation>();
  t->SetSrcRect(TFloatRect{-1, 2, 5.5f, 9});
  EXPECT_TRUE(t->HasTransformedBounds());
  EXPECT_EQ(t->GetTransformedBounds(), (TFloatRect{-1, 2, 5.5f, 9}));
  EXPECT_EQ(t->GetTransformedBounds(TFloatRect{0, 0, 1, 1}), (TFloatRect{0, 0, 1, 1}));
}

// --- Determinants ---------------------------------------------------------------------

// Runs `check` once with each registered variant of `id` bound, then
// restores the processor's choice.
template <class Check>
void ForEachVariant(int id, Check check) {
  auto variants = TransformsRegistry->Variants(id);
  ASSERT_FALSE(variants.empty());
  for (std::size_t i = 0; i < variants.size(); ++i) {
    SCOPED_TRACE("variant " + std::to_string(i));
    TransformsRegistry->Rebind(id, Raster_Bindings::OnlyVariant(variants[i]));
    check();
  }
  TransformsRegistry->RebindAll();
}

TEST_F(TransformationTest, DeterminantsKeepTheDigitsTheirTypeWouldCancel) {
  // Nearly singular matrices: computed in the type itself, a*d rounds to b*c
  // and the result would be 0.
  const float e32 = std::ldexp(1.0f, -12);
  const double e64 = std::ldexp(1.0, -30);
  ForEachVariant(FID_DETERMINANT32, [&] {
    EXPECT_EQ(Determinant32(1, 2, 3, 4), -2.0f);
    EXPECT_EQ(Determinant32(1 + e32, 1, 1 + 2 * e32, 1 + e32), std::ldexp(1.0f, -24));
    EXPECT_EQ(Determinant32(2, 4, 1, 2), 0.0f);
  });
  ForEachVariant(FID_DETERMINANT64, [&] {
    EXPECT_EQ(Determinant64(1, 2, 3, 4), -2.0);
    EXPECT_EQ(Determinant64(1 + e64, 1, 1 + 2 * e64, 1 + e64), std::ldexp(1.0, -60));
    EXPECT_EQ(Determinant64(1e300, 1e300, 1e300, 1e300), 0.0) << "no overflow in the products";
  });
}

TEST_F(TransformationTest, DeterminantVariantsAgreeBitForBit) {
  auto variants32 = TransformsRegistry->Variants(FID_DETERMINANT32);
  auto variants64 = TransformsRegistry->Variants(FID_DETERMINANT64);
  auto* first32 = reinterpret_cast<TDeterminant32>(variants32.front()->Proc);
  auto* first64 = reinterpret_cast<TDeterminant64>(variants64.front()->Proc);

  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> value(-1e6, 1e6);
  for (int i = 0; i < 2000; ++i) {
    double a = value(rng), b = value(rng), c = value(rng), d = value(rng);
    float fa = float(a), fb = float(b), fc = float(c), fd = float(d);
    for (auto* info : variants32) {
      auto* fn = reinterpret_cast<TDeterminant32>(info->Proc);
      ASSERT_EQ(fn(fa, fb, fc, fd), first32(fa, fb, fc, fd));
    }
    for (auto* info : variants64) {
      auto* fn = reinterpret_cast<TDeterminant64>(info->Proc);
      ASSERT_EQ(fn(a, b, c, d), first64(a, b, c, d));
    }
  }
}

TEST_F(TransformationTest, TheLastRegisteredDeterminantIsBound) {
  for (int id : {FID_DETERMINANT32, FID_DETERMINANT64}) {
    auto variants = TransformsRegistry->Variants(id);
    EXPECT_EQ(TransformsRegistry->FindFunction(id), variants.back()->Proc);
    EXPECT_TRUE(variants.back()->CPUFeatures.Empty());
  }
  EXPECT_EQ(reinterpret_cast<Raster_Bindings::TRoutine>(Determinant32),
            TransformsRegistry->FindFunction(FID_DETERMINANT32));
  EXPECT_EQ(TransformsRegistry->Name(), "Raster_Transforms bindings");
}

}  // namespace
}  // namespace velkor::Raster_Transforms
