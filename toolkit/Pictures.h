// Pictures over Qt: a holder of one graphic of any registered class, the
// registries of file and clipboard formats that choose the class, and the
// clipboard (pictures are assigned from it and it from them). The start-up
// registers the default formats.
#pragma once

#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/CanvasGraphics.h"

namespace velkor {

using TGraphicFactory = std::function<std::unique_ptr<TToolkitGraphic>()>;

// Registers the graphic class that loads files of an extension (without
// the dot, any letter case); a later registration of the same extension
// replaces the earlier one. The start-up registers bmp, png, jpg, jpeg,
// gif (TBitmap) and ico (TIcon).
void RegisterFileFormat(const std::string& Extension, const std::string& Description, TGraphicFactory Factory);
void UnregisterFileFormat(const std::string& Extension);
// The registered extensions in registration order.
std::vector<std::string> RegisteredFileFormats();

// Registers the graphic class that reads a private clipboard format; a
// picture assigned from the clipboard tries these first, in registration
// order, before an image.
void RegisterClipboardFormat(std::uint32_t Format, TGraphicFactory Factory);
void UnregisterClipboardFormat(std::uint32_t Format);

class TClipboard;

// A holder of one graphic of any registered class.
class TPicture : public TPersistent {
 public:
  TPicture();
  ~TPicture() override;

  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // From another picture, a graphic (copied), the clipboard, or nil (empty).
  void Assign(const TPersistent* Source) override;

  TToolkitGraphic* Graphic() const { return FGraphic.get(); }
  void SetGraphic(std::unique_ptr<TToolkitGraphic> Value);
  // The graphic as a bitmap; replaces any other graphic with an empty bitmap.
  TBitmap& Bitmap();
  int Width() const { return FGraphic ? FGraphic->Width() : 0; }
  int Height() const { return FGraphic ? FGraphic->Height() : 0; }

  // Chooses the graphic class by the file's extension. An unknown extension
  // or unreadable content raises EInvalidGraphic naming the file.
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  TNotifyEvent OnChange;

 private:
  std::unique_ptr<TToolkitGraphic> FGraphic;
};

// --- clipboard -----------------------------------------------------------------

// The platform clipboard: images, and private formats by number (mapped to
// MIME types of their own).
class TClipboard : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // A bitmap or picture goes onto the clipboard as an image.
  void Assign(const TPersistent* Source) override;
  bool HasImage() const;
  QImage Image() const;
  void SetImage(const QImage& Image);
  // Private formats: Format is the program's number for the data.
  bool HasFormat(std::uint32_t Format) const;
  std::string GetAsFormat(std::uint32_t Format) const;
  void SetAsFormat(std::uint32_t Format, std::string_view Data);
};

// The process's clipboard (needs a QGuiApplication).
TClipboard* Clipboard();

// Registers the default file formats (png as TPngImage). Called by the
// toolkit start-up.
void ToolkitGraphicsStartup();
void ToolkitGraphicsShutdown();

}  // namespace velkor
