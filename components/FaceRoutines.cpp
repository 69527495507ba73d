#include "components/FaceRoutines.h"

#include <algorithm>
#include <cmath>

#include "components/TrueColors.h"

namespace velkor {

namespace {

int Channel(TColor32 C, int Shift) { return int((C >> Shift) & 0xFF); }

TColor32 FromChannels(int B, int G, int R, int A) {
  return TColor32(B) | TColor32(G) << 8 | TColor32(R) << 16 | TColor32(A) << 24;
}

// Round half to even of a non-negative value, kept in a byte.
int RoundChannel(double V) { return std::clamp(int(std::nearbyint(V)), 0, 255); }

}  // namespace

TColor32 ResolveColor(TColor C) { return ColorToTrueColor(C).Color32(); }

TColor32 ShiftColor(TColor32 C, int D) {
  auto shift = [&](int Shift) { return std::clamp(Channel(C, Shift) + D, 0, 255); };
  return FromChannels(shift(0), shift(8), shift(16), Channel(C, 24));
}

TColor32 MixColor(TColor32 A, TColor32 B, int N, int D) {
  if (D == 0) {
    N = 1;
    D = 2;
  }
  auto mix = [&](int Shift) { return (Channel(A, Shift) * (D - N) + Channel(B, Shift) * N) / D; };
  return FromChannels(mix(0), mix(8), mix(16), mix(24));
}

TColor32 WeighColors(TColor32 A, float WA, TColor32 B, float WB) {
  auto weigh = [&](int Shift) {
    return RoundChannel(double(Channel(A, Shift)) * double(WA) + double(Channel(B, Shift)) * double(WB));
  };
  return FromChannels(weigh(0), weigh(8), weigh(16), weigh(24));
}

TColor32 WeightColor(TColor32 A, TColor32 B, float W) { return WeighColors(A, 1.0f - W, B, W); }

void DrawRing(TCustomBitmap32& Bitmap, TRect& R, TColor32 C1, TColor32 C2) {
  const float k = float(std::sqrt(2.0) / 4);
  const TColor32 g = WeightColor(C1, C2, 0.5f - k);
  const TColor32 h = WeightColor(C1, C2, 0.5f + k);
  const TColor32 m = WeightColor(C1, C2, 0.5f);
  auto M = [](TColor32 X, TColor32 Y) { return MixColor(X, Y, 128, 255); };
  const int L = R.Left, T = R.Top, Rt = R.Right, B = R.Bottom;

  Bitmap.VertLineS(L, T, B - 1, g);
  Bitmap.VertLineS(Rt - 1, T, B - 1, h);
  Bitmap.HorzLineS(L, T, Rt - 1, g);
  Bitmap.HorzLineS(L, B - 1, Rt - 1, h);

  Bitmap.SetPixelS(L, T, C1);
  Bitmap.SetPixelS(Rt - 1, T, m);
  Bitmap.SetPixelS(Rt - 1, B - 1, C2);
  Bitmap.SetPixelS(L, B - 1, m);
  Bitmap.SetPixelS(L + 1, T, M(C1, g));
  Bitmap.SetPixelS(L, T + 1, M(C1, g));
  Bitmap.SetPixelS(Rt - 2, T, M(g, m));
  Bitmap.SetPixelS(Rt - 1, T + 1, M(h, m));
  Bitmap.SetPixelS(Rt - 1, B - 2, M(C2, h));
  Bitmap.SetPixelS(Rt - 2, B - 1, M(C2, h));
  Bitmap.SetPixelS(L, B - 2, M(g, m));
  Bitmap.SetPixelS(L + 1, B - 1, M(h, m));

  R = {L + 1, T + 1, Rt - 1, B - 1};
}

}  // namespace velkor
