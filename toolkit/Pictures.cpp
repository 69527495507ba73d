#include "toolkit/Pictures.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <utility>

namespace velkor {

namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string ExtensionOf(const std::string& FileName) {
  const auto slash = FileName.find_last_of('/');
  const auto dot = FileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return LowerAscii(FileName.substr(dot + 1));
}

// One registered file format.
struct TFileFormat {
  std::string Extension;
  std::string Description;
  TGraphicFactory Factory;
};
std::vector<TFileFormat>& FileFormats() {
  static std::vector<TFileFormat> formats;
  return formats;
}

std::vector<std::pair<std::uint32_t, TGraphicFactory>>& ClipboardFormats() {
  static std::vector<std::pair<std::uint32_t, TGraphicFactory>> formats;
  return formats;
}

QString MimeOfFormat(std::uint32_t Format) {
  return QStringLiteral("application/x-velkor-clipboard-%1").arg(Format);
}

}  // namespace

// --- pictures ---------------------------------------------------------------------

void RegisterFileFormat(const std::string& Extension, const std::string& Description, TGraphicFactory Factory) {
  const std::string ext = LowerAscii(Extension);
  auto& formats = FileFormats();
  for (TFileFormat& f : formats) {
    if (f.Extension == ext) {
      f.Description = Description;
      f.Factory = std::move(Factory);
      return;
    }
  }
  formats.push_back({ext, Description, std::move(Factory)});
}

void UnregisterFileFormat(const std::string& Extension) {
  const std::string ext = LowerAscii(Extension);
  std::erase_if(FileFormats(), [&](const TFileFormat& f) { return f.Extension == ext; });
}

std::vector<std::string> RegisteredFileFormats() {
  std::vector<std::string> result;
  for (const TFileFormat& f : FileFormats()) result.push_back(f.Extension);
  return result;
}

void RegisterClipboardFormat(std::uint32_t Format, TGraphicFactory Factory) {
  auto& formats = ClipboardFormats();
  for (auto& [format, factory] : formats) {
    if (format == Format) {
      factory = std::move(Factory);
      return;
    }
  }
  formats.emplace_back(Format, std::move(Factory));
}

void UnregisterClipboardFormat(std::uint32_t Format) {
  std::erase_if(ClipboardFormats(), [&](const auto& f) { return f.first == Format; });
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

const TClassInfo& TPicture::StaticClass() {
  static const TClassInfo info{"TPicture", &TPersistent::StaticClass(), [] { return New<TPicture>(); }, {}};
  return info;
}

void TPicture::Assign(const TPersistent* Source) {
  if (!Source) {
    SetGraphic(nullptr);
    return;
  }
  if (auto* src = dynamic_cast<const TPicture*>(Source)) {
    if (src == this) return;
    Assign(src->Graphic());
    return;
  }
  if (auto* graphic = dynamic_cast<const TToolkitGraphic*>(Source)) {
    std::unique_ptr<TPersistent> copy = graphic->ClassType().Create();
    auto* g = dynamic_cast<TToolkitGraphic*>(copy.get());
    if (!g) TPersistent::Assign(Source);
    g->Assign(graphic);
    copy.release();
    SetGraphic(std::unique_ptr<TToolkitGraphic>(g));
    return;
  }
  if (auto* clip = dynamic_cast<const TClipboard*>(Source)) {
    for (const auto& [format, factory] : ClipboardFormats()) {
      if (!clip->HasFormat(format)) continue;
      std::unique_ptr<TToolkitGraphic> graphic = factory();
      graphic->LoadFromClipboardFormat(format, clip->GetAsFormat(format));
      SetGraphic(std::move(graphic));
      return;
    }
    if (!clip->HasImage()) throw EInvalidGraphic("Unsupported clipboard format");
    auto bitmap = New<TBitmap>();
    bitmap->SetImage(clip->Image());
    SetGraphic(std::move(bitmap));
    return;
  }
  TPersistent::Assign(Source);
}

void TPicture::SetGraphic(std::unique_ptr<TToolkitGraphic> Value) {
  FGraphic = std::move(Value);
  if (OnChange) OnChange(this);
}

TBitmap& TPicture::Bitmap() {
  if (!dynamic_cast<TBitmap*>(FGraphic.get())) SetGraphic(New<TBitmap>());
  return static_cast<TBitmap&>(*FGraphic);
}

void TPicture::LoadFromFile(const std::string& FileName) {
  const std::string ext = ExtensionOf(FileName);
  for (const TFileFormat& f : FileFormats()) {
    if (f.Extension != ext) continue;
    std::unique_ptr<TToolkitGraphic> graphic = f.Factory();
    graphic->LoadFromFile(FileName);
    SetGraphic(std::move(graphic));
    return;
  }
  throw EInvalidGraphic("Unknown picture file extension (." + ext + "): \"" + FileName + "\"");
}

void TPicture::SaveToFile(const std::string& FileName) const {
  if (FGraphic) FGraphic->SaveToFile(FileName);
}

// --- clipboard ----------------------------------------------------------------------

const TClassInfo& TClipboard::StaticClass() {
  static const TClassInfo info{"TClipboard", &TPersistent::StaticClass(), {}, {}};
  return info;
}

void TClipboard::Assign(const TPersistent* Source) {
  if (auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
    SetImage(bitmap->ToImage());
    return;
  }
  const TToolkitGraphic* graphic = dynamic_cast<const TToolkitGraphic*>(Source);
  if (auto* picture = dynamic_cast<const TPicture*>(Source)) {
    if (auto* bitmap = dynamic_cast<const TBitmap*>(picture->Graphic())) return SetImage(bitmap->ToImage());
    if (auto* icon = dynamic_cast<const TIcon*>(picture->Graphic())) return SetImage(icon->Image());
    graphic = picture->Graphic();
  }
  // A graphic with a private clipboard format of its own; the others raise
  // the "cannot assign" below.
  if (graphic) {
    std::uint32_t format = 0;
    std::string data;
    try {
      graphic->SaveToClipboardFormat(format, data);
    } catch (const EInvalidGraphic&) {
      TPersistent::Assign(Source);
    }
    return SetAsFormat(format, data);
  }
  TPersistent::Assign(Source);
}

bool TClipboard::HasImage() const {
  const QMimeData* data = HaveGuiApplication() ? QGuiApplication::clipboard()->mimeData() : nullptr;
  return data && data->hasImage();
}

QImage TClipboard::Image() const {
  return HaveGuiApplication() ? QGuiApplication::clipboard()->image() : QImage();
}

void TClipboard::SetImage(const QImage& Image) {
  if (HaveGuiApplication()) QGuiApplication::clipboard()->setImage(Image);
}

bool TClipboard::HasFormat(std::uint32_t Format) const {
  const QMimeData* data = HaveGuiApplication() ? QGuiApplication::clipboard()->mimeData() : nullptr;
  return data && data->hasFormat(MimeOfFormat(Format));
}

std::string TClipboard::GetAsFormat(std::uint32_t Format) const {
  const QMimeData* data = HaveGuiApplication() ? QGuiApplication::clipboard()->mimeData() : nullptr;
  if (!data) return {};
  const QByteArray bytes = data->data(MimeOfFormat(Format));
  return std::string(bytes.constData(), std::size_t(bytes.size()));
}

void TClipboard::SetAsFormat(std::uint32_t Format, std::string_view Data) {
  if (!HaveGuiApplication()) return;
  auto* data = new QMimeData;
  data->setData(MimeOfFormat(Format), QByteArray(Data.data(), qsizetype(Data.size())));
  QGuiApplication::clipboard()->setMimeData(data);
}

TClipboard* Clipboard() {
  static TClipboard clipboard;
  return &clipboard;
}

void ToolkitGraphicsStartup() {
  auto bitmap = [] { return std::unique_ptr<TToolkitGraphic>(New<TBitmap>()); };
  RegisterFileFormat("bmp", "Bitmaps", bitmap);
  RegisterFileFormat("png", "Portable Network Graphics",
                     [] { return std::unique_ptr<TToolkitGraphic>(New<TPngImage>()); });
  RegisterFileFormat("jpg", "JPEG Image File", bitmap);
  RegisterFileFormat("jpeg", "JPEG Image File", bitmap);
  RegisterFileFormat("gif", "GIF Image", bitmap);
  RegisterFileFormat("ico", "Icons", [] { return std::unique_ptr<TToolkitGraphic>(New<TIcon>()); });
}

void ToolkitGraphicsShutdown() {
  FileFormats().clear();
  ClipboardFormats().clear();
  SetStockSystemFont(nullptr);
}

}  // namespace velkor
