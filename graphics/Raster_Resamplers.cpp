// Raster_Resamplers: the class registries, the portable forms of the two
// bound routines, their registry and the module's start-up.
#include "graphics/Raster_Resamplers.h"

#include <algorithm>

#include "graphics/Raster_Blend.h"
#include "graphics/Raster_ResamplersVariants.h"

namespace velkor::Raster_Resamplers {

using Raster_System::ciMMX;
using Raster_System::ciSSE;
using Raster_System::ciSSE2;

Raster_Containers::TClassList* ResamplerClassList = nullptr;
Raster_Containers::TClassList* KernelClassList = nullptr;

TAverageBlock AverageBlock = nullptr;
TInterpolate2x2 Interpolate2x2 = nullptr;
Raster_Bindings::TFunctionRegistry* ResamplersRegistry = nullptr;

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

void RegisterClass(Raster_Containers::TClassList*& List, TClass AClass) {
  if (!List) List = new Raster_Containers::TClassList;
  List->Add(AClass);
}

}  // namespace

void RegisterResampler(TClass AClass) { RegisterClass(ResamplerClassList, AClass); }
void RegisterKernel(TClass AClass) { RegisterClass(KernelClassList, AClass); }

// --- Portable variants --------------------------------------------------------

namespace variants {

TColor32 AverageOfSums(std::uint64_t A, std::uint64_t R, std::uint64_t G, std::uint64_t B, std::uint64_t Count) {
  if (Count == 0) return 0;
  auto average = [Count](std::uint64_t sum) -> TColor32 {
    if (Count > (1u << 24)) return TColor32(sum / Count);
    const std::uint64_t scale = 0x1000000u / Count;
    return TColor32((sum * scale) >> 24);
  };
  return (average(A) << 24) | (average(R) << 16) | (average(G) << 8) | average(B);
}

TColor32 AverageBlock_Portable(std::uint32_t Dlx, std::uint32_t Dly, const TColor32* RowSrc, std::uint32_t OffSrc) {
  std::uint64_t a = 0, r = 0, g = 0, b = 0;
  const auto* row = reinterpret_cast<const std::uint8_t*>(RowSrc);
  for (std::uint32_t y = 0; y < Dly; ++y, row += OffSrc) {
    const auto* p = reinterpret_cast<const TColor32*>(row);
    for (std::uint32_t x = 0; x < Dlx; ++x) {
      const TColor32 c = p[x];
      a += c >> 24, r += (c >> 16) & 255, g += (c >> 8) & 255, b += c & 255;
    }
  }
  return AverageOfSums(a, r, g, b, std::uint64_t(Dlx) * Dly);
}

TColor32 Interpolate2x2_Portable(std::uint32_t WX, std::uint32_t WY, const TColor32* C11, const TColor32* C21) {
  const int wx = int(std::min<std::uint32_t>(WX, 255)), wy = int(std::min<std::uint32_t>(WY, 255));
  return Raster_Blend::CombineColor(Raster_Blend::CombineColor(C11[0], C11[1], wx),
                                    Raster_Blend::CombineColor(C21[0], C21[1], wx), wy);
}

}  // namespace variants

// --- Bindings ---------------------------------------------------------------------

void RegisterResamplersBindings() {
  using namespace variants;
  ResamplersRegistry = Raster_Bindings::CreateFunctionRegistry("Raster_Resamplers bindings");
  ResamplersRegistry->RegisterBinding(FID_AverageBlock, &AverageBlock);
  ResamplersRegistry->RegisterBinding(FID_Interpolate2x2, &Interpolate2x2);
  ResamplersRegistry->Add(FID_AverageBlock, AverageBlock_Portable);
  ResamplersRegistry->Add(FID_Interpolate2x2, Interpolate2x2_Portable);
#if defined(__x86_64__)
  ResamplersRegistry->Add(FID_AverageBlock, AverageBlock_SSE2, {ciMMX});
  ResamplersRegistry->Add(FID_Interpolate2x2, Interpolate2x2_SSE2, {ciMMX, ciSSE});
  ResamplersRegistry->Add(FID_AverageBlock, AverageBlock_SSE2, {ciSSE2});
  ResamplersRegistry->Add(FID_Interpolate2x2, Interpolate2x2_SSE2, {ciSSE2});
#endif
  ResamplersRegistry->RebindAll();
}

void Startup() {
  if (!gUnitCounter.Enter()) return;
  RegisterResamplersBindings();
  RegisterResampler(&TNearestResampler::StaticClass());
  RegisterResampler(&TLinearResampler::StaticClass());
  RegisterResampler(&TDraftResampler::StaticClass());
  RegisterResampler(&TKernelResampler::StaticClass());
  RegisterKernel(&TBoxKernel::StaticClass());
  RegisterKernel(&TLinearKernel::StaticClass());
  RegisterKernel(&TCosineKernel::StaticClass());
  RegisterKernel(&TSplineKernel::StaticClass());
  RegisterKernel(&TCubicKernel::StaticClass());
  RegisterKernel(&TMitchellKernel::StaticClass());
  RegisterKernel(&TAlbrechtKernel::StaticClass());
  RegisterKernel(&TLanczosKernel::StaticClass());
  RegisterKernel(&TGaussianKernel::StaticClass());
  RegisterKernel(&TBlackmanKernel::StaticClass());
  RegisterKernel(&THannKernel::StaticClass());
  RegisterKernel(&THammingKernel::StaticClass());
  RegisterKernel(&TSinshKernel::StaticClass());
  RegisterKernel(&THermiteKernel::StaticClass());
}

void Shutdown() {
  if (!gUnitCounter.Leave()) return;
  delete ResamplerClassList;
  ResamplerClassList = nullptr;
  delete KernelClassList;
  KernelClassList = nullptr;
  // The registry itself is freed by Raster_Bindings, which shuts down later.
  ResamplersRegistry = nullptr;
}

}  // namespace velkor::Raster_Resamplers
