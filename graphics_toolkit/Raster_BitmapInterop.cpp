// The exchange of pixels between the raster bitmaps and the toolkit's
// graphics: bitmaps, icons, metafiles, pictures and the clipboard, and the
// loaders for image files the bitmap does not read itself. The toolkit
// start-up installs these as the bitmap's ToolkitGraphicsHooks.
//
// A graphic is drawn by the toolkit onto the bitmap's own device context,
// so the bitmap must have one: its backend is switched for the duration when
// it lacks it. What alpha the drawn pixels get depends on the graphic:
//   - a toolkit bitmap keeps its alpha when it is 32-bit and is opaque
//     otherwise; its transparent colour (when set) becomes alpha 0;
//   - an icon keeps its alpha, unless it has none at all, when it is masked
//     like a metafile;
//   - a metafile is drawn twice, over opaque white and over opaque red:
//     where both agree it drew (alpha 255), elsewhere the background showed
//     (alpha 0, colour kept);
//   - any other graphic is drawn over white and made opaque.
#include "graphics_toolkit/RasterToolkitStartup.h"

#include "graphics/Raster_Backends.h"
#include "graphics_toolkit/Raster_Backends_Toolkit.h"
#include "toolkit/ToolkitGraphics.h"

namespace velkor::Raster_BitmapInterop {

namespace {

// Restores a released backend when it goes out of scope.
struct TBackendRestorer {
  TCustomBitmap32* Bitmap;
  TCustomBackend* Released = nullptr;
  ~TBackendRestorer() { RestoreBackend(Bitmap, Released); }
};

void AssignFromGraphicPlain(TCustomBitmap32& Target, const TToolkitGraphic* Source, TColor32 FillColor,
                            bool ResetAlphaAfterDrawing) {
  if (!Source) return;
  {
    TBackendRestorer restorer{&Target};
    RequireBackendInterfaces(&Target, {Supports<IDeviceContextSupport>, Supports<ICanvasSupport>}, 1, true,
                             restorer.Released);
    Target.SetSize(Source->Width(), Source->Height());
    if (Target.Empty()) return;
    Target.Clear(FillColor);
    const TRect all = Target.BoundsRect();
    if (auto* dc = BackendInterface<IDeviceContextSupport>(Target.Backend())) {
      TCanvas canvas;
      canvas.Lock();
      canvas.SetHandle(dc->GetHandle());
      Source->Draw(canvas, all);
      canvas.SetHandle(nullptr);
      canvas.Unlock();
    } else if (auto* cs = BackendInterface<ICanvasSupport>(Target.Backend())) {
      Source->Draw(*cs->GetCanvas(), all);
    } else {
      throw EBitmapException("Inpropriate Backend");
    }
  }
  if (ResetAlphaAfterDrawing) Target.ResetAlpha(255);
}

void AssignFromGraphicMasked(TCustomBitmap32& Target, const TToolkitGraphic* Source) {
  AssignFromGraphicPlain(Target, Source, 0xFFFFFFFFu, false);
  if (Target.Empty()) return;
  auto red = New<TBitmap32>();
  AssignFromGraphicPlain(*red, Source, 0xFFFF0000u, false);
  TColor32* p = Target.Bits();
  const TColor32* q = red->Bits();
  const std::size_t n = std::size_t(Target.Width()) * std::size_t(Target.Height());
  if (!q || red->Width() != Target.Width() || red->Height() != Target.Height()) return;
  for (std::size_t i = 0; i < n; ++i) {
    p[i] = ((p[i] ^ q[i]) & 0x00FFFFFFu) == 0 ? p[i] | 0xFF000000u : p[i] & 0x00FFFFFFu;
  }
  Target.Changed();
}

void AssignFromToolkitBitmap(TCustomBitmap32& Target, const TBitmap* Source) {
  AssignFromGraphicPlain(Target, Source, 0, Source->PixelFormat() != pf32bit);
  if (!Target.Empty() && Source->Transparent()) {
    const TColor32 key = WinColorToColor32(Source->TransparentColor()) & 0x00FFFFFFu;
    TColor32* p = Target.Bits();
    const std::size_t n = std::size_t(Target.Width()) * std::size_t(Target.Height());
    for (std::size_t i = 0; i < n; ++i) {
      if ((p[i] & 0x00FFFFFFu) == key) p[i] &= 0x00FFFFFFu;
    }
    Target.Changed();
  }
  if (auto* fonts = BackendInterface<IFontSupport>(Target.Backend())) {
    fonts->GetFont()->Assign(&const_cast<TBitmap*>(Source)->Canvas().Font());
  }
}

void AssignFromIcon(TCustomBitmap32& Target, const TIcon* Source) {
  AssignFromGraphicPlain(Target, Source, 0, false);
  if (Target.Empty()) return;
  const TColor32* p = Target.Bits();
  const std::size_t n = std::size_t(Target.Width()) * std::size_t(Target.Height());
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] >> 24) return;
  }
  AssignFromGraphicMasked(Target, Source);
}

void AssignFromGraphic(TCustomBitmap32& Target, const TToolkitGraphic* Source) {
  if (auto* bitmap = dynamic_cast<const TBitmap*>(Source)) return AssignFromToolkitBitmap(Target, bitmap);
  if (auto* icon = dynamic_cast<const TIcon*>(Source)) return AssignFromIcon(Target, icon);
  if (dynamic_cast<const TMetafile*>(Source)) return AssignFromGraphicMasked(Target, Source);
  AssignFromGraphicPlain(Target, Source, 0xFFFFFFFFu, true);
}

void CopyToToolkitBitmap(const TCustomBitmap32& Self, TBitmap& Dest) {
  auto& bitmap = const_cast<TCustomBitmap32&>(Self);
  TBackendRestorer restorer{&bitmap};
  RequireBackendInterfaces(&bitmap, {Supports<IDeviceContextSupport>}, 1, false, restorer.Released);
  Dest.SetHandleType(bmDIB);
  Dest.SetPixelFormat(pf32bit);
  Dest.SetSize(Self.Width(), Self.Height());
  if (auto* fonts = BackendInterface<IFontSupport>(Self.Backend())) Dest.Canvas().Font().Assign(fonts->GetFont());
  if (Self.Empty()) return;
  if (auto* dc = BackendInterface<IDeviceContextSupport>(Self.Backend())) {
    Dest.Canvas().Lock();
    dc->DrawTo(Dest.Canvas().Handle(), Self.BoundsRect(), Self.BoundsRect());
    Dest.Canvas().Unlock();
  } else {
    // A bitmap without a device context (no toolkit backend class for its
    // kind) is copied byte for byte, which is what the transfer does.
    for (int y = 0; y < Self.Height(); ++y) {
      std::copy_n(Self.ScanLine(y), Self.Width(), Dest.ScanLine(y));
    }
  }
}

bool AssignFrom(TCustomBitmap32& Target, const TPersistent* Source) {
  if (auto* graphic = dynamic_cast<const TToolkitGraphic*>(Source)) {
    AssignFromGraphic(Target, graphic);
    return true;
  }
  if (auto* picture = dynamic_cast<const TPicture*>(Source)) {
    AssignFromGraphic(Target, picture->Graphic());
    return true;
  }
  if (auto* clipboard = dynamic_cast<const TClipboard*>(Source)) {
    TPicture picture;
    picture.Assign(clipboard);
    AssignFromGraphic(Target, picture.Graphic());
    return true;
  }
  return false;
}

bool AssignTo(const TCustomBitmap32& Self, TPersistent* Dest) {
  if (auto* picture = dynamic_cast<TPicture*>(Dest)) {
    CopyToToolkitBitmap(Self, picture->Bitmap());
    return true;
  }
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    CopyToToolkitBitmap(Self, *bitmap);
    return true;
  }
  if (auto* clipboard = dynamic_cast<TClipboard*>(Dest)) {
    TBitmap bitmap;
    CopyToToolkitBitmap(Self, bitmap);
    clipboard->Assign(&bitmap);
    return true;
  }
  return false;
}

void LoadImage(TCustomBitmap32& Target, std::istream& Stream) {
  TBitmap bitmap;
  bitmap.LoadFromStream(Stream);
  Target.Assign(&bitmap);
}

void LoadPicture(TCustomBitmap32& Target, const std::string& FileName) {
  if (FileName.starts_with(":")) {
    TBitmap bitmap;
    bitmap.LoadFromResourceName(FileName);
    Target.Assign(&bitmap);
    return;
  }
  TPicture picture;
  picture.LoadFromFile(FileName);
  Target.Assign(&picture);
}

}  // namespace

void InstallHooks() {
  TToolkitGraphicsHooks& hooks = ToolkitGraphicsHooks();
  hooks.AssignFrom = AssignFrom;
  hooks.AssignTo = AssignTo;
  hooks.LoadImage = LoadImage;
  hooks.LoadPicture = LoadPicture;
}

void RemoveHooks() { ToolkitGraphicsHooks() = {}; }

}  // namespace velkor::Raster_BitmapInterop
