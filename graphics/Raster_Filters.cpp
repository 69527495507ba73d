#include "graphics/Raster_Filters.h"

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace velkor::Raster_Filters {

using Raster_System::ciEMMX;
using Raster_System::ciMMX;

TLogicalOp AndWords = nullptr;
TLogicalOp OrWords = nullptr;
TLogicalOp XorWords = nullptr;
TLogicalOpTo AndWordsTo = nullptr;
TLogicalOpTo OrWordsTo = nullptr;
TLogicalOpTo XorWordsTo = nullptr;
Raster_Bindings::TFunctionRegistry* FilterRegistry = nullptr;

namespace {

Raster_System::TUnitInitCounter gUnitCounter;

struct And {
  static std::uint32_t Apply(std::uint32_t a, std::uint32_t m) { return a & m; }
#if defined(__x86_64__)
  static __m128i Apply(__m128i a, __m128i m) { return _mm_and_si128(a, m); }
#endif
};
struct Or {
  static std::uint32_t Apply(std::uint32_t a, std::uint32_t m) { return a | m; }
#if defined(__x86_64__)
  static __m128i Apply(__m128i a, __m128i m) { return _mm_or_si128(a, m); }
#endif
};
struct Xor {
  static std::uint32_t Apply(std::uint32_t a, std::uint32_t m) { return a ^ m; }
#if defined(__x86_64__)
  static __m128i Apply(__m128i a, __m128i m) { return _mm_xor_si128(a, m); }
#endif
};

// Portable: one pixel per step, first to last.
template <typename Op>
void InPlacePortable(TColor32* Dst, std::uint32_t Mask, int Count) {
  for (int i = 0; i < Count; ++i) Dst[i] = Op::Apply(Dst[i], Mask);
}

template <typename Op>
void ToPortable(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t Mask) {
  for (int i = 0; i < Count; ++i) Dst[i] = Op::Apply(Src[i], Mask);
}

// Plain in-place form: 16 pixels per pass, then the rest one by one.
template <typename Op>
void InPlaceUnrolled(TColor32* Dst, std::uint32_t Mask, int Count) {
  int i = 0;
  for (; i + 16 <= Count; i += 16)
    for (int k = 0; k < 16; ++k) Dst[i + k] = Op::Apply(Dst[i + k], Mask);
  for (; i < Count; ++i) Dst[i] = Op::Apply(Dst[i], Mask);
}

#if defined(__x86_64__)
// Blocks of 16 pixels through four 128-bit registers with unaligned loads
// and stores (the MMX form's eight 64-bit registers, on SSE2), then the
// remainder one by one.
template <typename Op>
void ToBlocks(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t Mask) {
  const __m128i m = _mm_set1_epi32(int(Mask));
  int i = 0;
  for (; i + 16 <= Count; i += 16) {
    const auto* s = reinterpret_cast<const __m128i*>(Src + i);
    auto* d = reinterpret_cast<__m128i*>(Dst + i);
    const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
    const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
    _mm_storeu_si128(d, Op::Apply(a, m));
    _mm_storeu_si128(d + 1, Op::Apply(b, m));
    _mm_storeu_si128(d + 2, Op::Apply(c, m));
    _mm_storeu_si128(d + 3, Op::Apply(e, m));
  }
  for (; i < Count; ++i) Dst[i] = Op::Apply(Src[i], Mask);
}

// As ToBlocks, with non-temporal stores: the destination is not read again
// soon, so it should not push useful lines out of the cache. Streaming
// stores need a 16-byte aligned destination, so single pixels go first up
// to that boundary; a destination that is not even 4-byte aligned takes the
// cached form.
template <typename Op>
void ToStreaming(const TColor32* Src, TColor32* Dst, int Count, std::uint32_t Mask) {
  if (reinterpret_cast<std::uintptr_t>(Dst) & 3) {
    ToBlocks<Op>(Src, Dst, Count, Mask);
    return;
  }
  int i = 0;
  while (i < Count && (reinterpret_cast<std::uintptr_t>(Dst + i) & 15)) {
    Dst[i] = Op::Apply(Src[i], Mask);
    ++i;
  }
  const __m128i m = _mm_set1_epi32(int(Mask));
  for (; i + 16 <= Count; i += 16) {
    const auto* s = reinterpret_cast<const __m128i*>(Src + i);
    auto* d = reinterpret_cast<__m128i*>(Dst + i);
    const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
    const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
    _mm_stream_si128(d, Op::Apply(a, m));
    _mm_stream_si128(d + 1, Op::Apply(b, m));
    _mm_stream_si128(d + 2, Op::Apply(c, m));
    _mm_stream_si128(d + 3, Op::Apply(e, m));
  }
  _mm_sfence();  // streamed stores become visible before ordinary ones
  for (; i < Count; ++i) Dst[i] = Op::Apply(Src[i], Mask);
}
#endif

}  // namespace

void RegisterBindings() {
  FilterRegistry = Raster_Bindings::CreateFunctionRegistry("Raster_Filters bindings");
  auto& r = *FilterRegistry;
  r.RegisterBinding(FID_AndWords, &AndWords);
  r.RegisterBinding(FID_OrWords, &OrWords);
  r.RegisterBinding(FID_XorWords, &XorWords);
  r.RegisterBinding(FID_AndWordsTo, &AndWordsTo);
  r.RegisterBinding(FID_OrWordsTo, &OrWordsTo);
  r.RegisterBinding(FID_XorWordsTo, &XorWordsTo);

  r.Add(FID_AndWords, InPlacePortable<And>);
  r.Add(FID_OrWords, InPlacePortable<Or>);
  r.Add(FID_XorWords, InPlacePortable<Xor>);
  r.Add(FID_AndWordsTo, ToPortable<And>);
  r.Add(FID_OrWordsTo, ToPortable<Or>);
  r.Add(FID_XorWordsTo, ToPortable<Xor>);

  r.Add(FID_AndWords, InPlaceUnrolled<And>);
  r.Add(FID_OrWords, InPlaceUnrolled<Or>);
  r.Add(FID_XorWords, InPlaceUnrolled<Xor>);
  // The plain copying forms are one pixel per step, like the portable ones.
  r.Add(FID_AndWordsTo, ToPortable<And>);
  r.Add(FID_OrWordsTo, ToPortable<Or>);
  r.Add(FID_XorWordsTo, ToPortable<Xor>);

#if defined(__x86_64__)
  r.Add(FID_AndWordsTo, ToBlocks<And>, {ciMMX});
  r.Add(FID_OrWordsTo, ToBlocks<Or>, {ciMMX});
  r.Add(FID_XorWordsTo, ToBlocks<Xor>, {ciMMX});

  r.Add(FID_AndWordsTo, ToStreaming<And>, {ciEMMX});
  r.Add(FID_OrWordsTo, ToStreaming<Or>, {ciEMMX});
  r.Add(FID_XorWordsTo, ToStreaming<Xor>, {ciEMMX});
#endif
  r.RebindAll();
}

void Startup() {
  if (gUnitCounter.Enter()) RegisterBindings();
}

void Shutdown() {
  if (gUnitCounter.Leave()) FilterRegistry = nullptr;
}

}  // namespace velkor::Raster_Filters
