// Processor features, the routine registries and their binding rule, the
// module start-up counter and the interval timer.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

#include "RasterTestSupport.h"
#include "core/SystemInfo.h"
#include "graphics/Raster_Blend.h"
#include "graphics/Raster_LowLevel.h"
#include "graphics/Raster_System.h"

namespace velkor {
namespace {

using namespace Raster_System;
using namespace Raster_Bindings;

// Distinct routines whose addresses tell which one was bound.
void RoutineA() {}
void RoutineB() {}
void RoutineC() {}
void RoutineD() {}
using TProc = void (*)();

TEST(CPUFeatures, SetBitsFollowTheOrdinals) {
  EXPECT_EQ(TCPUFeatures({ciMMX}).Bits, 1);
  EXPECT_EQ(TCPUFeatures({ciEMMX}).Bits, 2);
  EXPECT_EQ(TCPUFeatures({ciSSE}).Bits, 4);
  EXPECT_EQ(TCPUFeatures({ciSSE2}).Bits, 8);
  EXPECT_EQ(TCPUFeatures({ci3DNow}).Bits, 16);
  EXPECT_EQ(TCPUFeatures({ci3DNowExt}).Bits, 32);
  EXPECT_TRUE(TCPUFeatures({ciMMX, ciSSE2}).Covers({ciSSE2}));
  EXPECT_FALSE(TCPUFeatures({ciMMX}).Covers({ciMMX, ciSSE2}));
  EXPECT_TRUE(TCPUFeatures().Covers({}));
}

TEST(CPUFeatures, MaskAgreesWithTheInstructionSetTest) {
  const TCPUFeatures mask = CPUFeatureMask();
  for (int i = ciMMX; i <= ci3DNowExt; ++i) {
    const auto s = static_cast<TCPUInstructionSet>(i);
    EXPECT_EQ(mask.Contains(s), IsInstructionSetSupported(s)) << "ordinal " << i;
    EXPECT_EQ(mask.Contains(s), HasCPUExt(static_cast<TCPUExt>(i))) << "ordinal " << i;
  }
#if defined(__x86_64__)
  // SSE2 is part of x86-64, and SSE implies the extended MMX set.
  EXPECT_EQ(mask.Bits & 0x0F, 0x0F);
#endif
}

TEST(FunctionRegistry, LastUsableVariantWinsAndMissingIdsBindNil) {
  TFunctionRegistry r;
  TProc bound = nullptr, second = nullptr, orphan = RoutineA;
  r.RegisterBinding(1, &bound);
  r.RegisterBinding(1, &second);
  r.RegisterBinding(7, &orphan);  // id 7 has no entries
  r.Add(1, RoutineA);
  r.Add(1, RoutineB, {ciSSE2});
  r.Add(1, RoutineC, {ci3DNow});

  const TCPUFeatures noExtension, sse2Only{ciMMX, ciEMMX, ciSSE, ciSSE2};
  r.RebindAll(MaskPriority(sse2Only));
  EXPECT_EQ(bound, RoutineB) << "the later 3DNow variant is unusable and skipped";
  EXPECT_EQ(second, RoutineB) << "every binding of an id receives the choice";
  EXPECT_EQ(orphan, nullptr);

  r.RebindAll(MaskPriority(noExtension));
  EXPECT_EQ(bound, RoutineA);

  r.Add(1, RoutineD);  // needs nothing, registered last: overrides the others
  r.RebindAll(MaskPriority(sse2Only));
  EXPECT_EQ(bound, RoutineD);
  EXPECT_EQ(r.FindFunction(1, MaskPriority(TCPUFeatures{ci3DNow})), reinterpret_cast<TRoutine>(RoutineD));
}

TEST(FunctionRegistry, OnlyAStrictlyLowerPriorityReplacesTheChoice) {
  TFunctionRegistry r;
  r.Add(3, RoutineA);
  r.Add(3, RoutineB);
  r.Add(3, RoutineC);
  // Priorities by entry: A 1, B 5, C 1. Walking from the end, C takes 1 and
  // A's equal 1 does not replace it.
  auto priority = [](PFunctionInfo info) {
    return info->Proc == reinterpret_cast<TRoutine>(RoutineB) ? 5 : 1;
  };
  EXPECT_EQ(r.FindFunction(3, priority), reinterpret_cast<TRoutine>(RoutineC));
  EXPECT_EQ(r.FindFunction(3, [](PFunctionInfo) { return NoPriority; }), nullptr);
  EXPECT_EQ(r.FindFunction(4), nullptr);
}

TEST(FunctionRegistry, RebindTouchesOnlyItsIdAndItemsAreChecked) {
  TFunctionRegistry r;
  TProc one = nullptr, two = nullptr;
  r.RegisterBinding(1, &one);
  r.RegisterBinding(2, &two);
  r.Add(1, RoutineA);
  r.Add(2, RoutineB);
  r.Rebind(2);
  EXPECT_EQ(one, nullptr);
  EXPECT_EQ(two, RoutineB);

  ASSERT_EQ(r.Count(), 2);
  EXPECT_EQ(r.GetItems(1)->Proc, reinterpret_cast<TRoutine>(RoutineB));
  r.SetItems(1, TFunctionInfo{2, reinterpret_cast<TRoutine>(RoutineC), {}, 0});
  r.Rebind(2);
  EXPECT_EQ(two, RoutineC);
  EXPECT_THROW(r.GetItems(2), std::out_of_range);
  EXPECT_THROW(r.GetItems(-1), std::out_of_range);

  r.Clear();
  EXPECT_EQ(r.Count(), 0);
  r.RebindAll();  // no bindings left: nothing is written
  EXPECT_EQ(two, RoutineC);
}

TEST(FunctionRegistry, StartupBindsEveryRoutineOfTheModules) {
  test::StartRaster();
  std::vector<std::string> names;
  for (TFunctionRegistry* r : RegistryList()) names.push_back(r->Name());
  for (const char* expected : {"Raster_LowLevel bindings", "Raster_Blend bindings", "Raster_Filters bindings"})
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;

  struct Module { TFunctionRegistry* registry; int ids; };
  for (const Module& m : {Module{Raster_LowLevel::LowLevelRegistry, 1},
                          Module{Raster_Blend::BlendRegistry, Raster_Blend::FID_BlendCount},
                          Module{Raster_Filters::FilterRegistry, 6}}) {
    ASSERT_NE(m.registry, nullptr);
    for (int id = 0; id < m.ids; ++id) {
      const auto variants = m.registry->Variants(id);
      ASSERT_FALSE(variants.empty()) << m.registry->Name() << " id " << id;
      EXPECT_TRUE(variants.front()->CPUFeatures.Empty()) << "the portable variant comes first";
      EXPECT_NE(m.registry->FindFunction(id), nullptr) << m.registry->Name() << " id " << id;
    }
  }
}

TEST(FunctionRegistry, ProcessorMasksChooseTheExpectedBlendVariants) {
  test::StartRaster();
  TFunctionRegistry& r = *Raster_Blend::BlendRegistry;
  const auto v = r.Variants(Raster_Blend::FID_BlendColor);  // portable, integer, MMX, SSE2
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(r.FindFunction(Raster_Blend::FID_BlendColor, MaskPriority({})), v[1]->Proc);
  EXPECT_EQ(r.FindFunction(Raster_Blend::FID_BlendColor, MaskPriority({ciMMX})), v[2]->Proc);
  EXPECT_EQ(r.FindFunction(Raster_Blend::FID_BlendColor, MaskPriority({ciMMX, ciSSE2})), v[3]->Proc);
  // MergeColor's integer variant is registered last and bound everywhere.
  const auto merge = r.Variants(Raster_Blend::FID_MergeColor);
  EXPECT_TRUE(merge.back()->CPUFeatures.Empty());
  EXPECT_EQ(reinterpret_cast<TRoutine>(Raster_Blend::MergeColor), merge.back()->Proc);
  EXPECT_EQ(r.FindFunction(Raster_Blend::FID_MergeColor, MaskPriority({ciMMX, ciSSE2})), merge.back()->Proc);
}

TEST(UnitInitCounter, WorkRunsOnFirstStartAndUndoesOnLastStop) {
  TUnitInitCounter c;
  EXPECT_TRUE(c.Enter());
  EXPECT_FALSE(c.Enter());
  EXPECT_FALSE(c.Leave());
  EXPECT_TRUE(c.Leave());
  EXPECT_FALSE(c.Leave()) << "a stop without a start undoes nothing";
  EXPECT_TRUE(c.Enter());
}

TEST(PerfTimer, ReadsElapsedTimeInTheStatedUnits) {
  TPerfTimer t;
  t.Start();
  const std::int64_t immediate = t.ReadValue();
  EXPECT_GE(immediate, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(t.ReadValue(), 5000) << "microseconds";
  EXPECT_GE(std::stoll(t.ReadNanoseconds()), 5000) << "the same microseconds, as text";
  const std::regex threeDecimals(R"(^\d+[.,]\d{3}$)");
  const std::string ms = t.ReadMilliseconds();
  EXPECT_TRUE(std::regex_match(ms, threeDecimals)) << ms;
  EXPECT_GE(std::stod(ms), 5.0);
  EXPECT_TRUE(std::regex_match(t.ReadSeconds(), threeDecimals)) << t.ReadSeconds();
}

TEST(RasterSystem, StartupCreatesTheSharedTimer) {
  test::StartRaster();
  ASSERT_NE(SharedPerfTimer, nullptr);
  EXPECT_GE(GetProcessorCount(), 1);
  const std::uint32_t before = GetTickCount32();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_GE(std::uint32_t(GetTickCount32() - before), 10u);
}

}  // namespace
}  // namespace velkor
