#include "components/ImageLists.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace velkor {
namespace {

// Cell (Left, 0) of Source, Width x Height, transparent where Source ends.
std::unique_ptr<TTrueImage> Cell(const TTrueImage& Source, int Left, int Width, int Height) {
  auto cell = TTrueImage::CreateSize(Width, Height);
  cell->Clear(TTrueColor(0));
  const int w = std::min(Width, Source.Width() - Left);
  const int h = std::min(Height, Source.Height());
  for (int y = 0; y < h; ++y)
    std::copy_n(Source.PixelPtr(Left, y), w, cell->PixelPtr(0, y));
  return cell;
}

}  // namespace

TVQR_ImageList::TVQR_ImageList(int Width, int Height) : FWidth(std::max(Width, 1)), FHeight(std::max(Height, 1)) {}

void TVQR_ImageList::SetWidth(int Value) { SetSize(Value, FHeight); }
void TVQR_ImageList::SetHeight(int Value) { SetSize(FWidth, Value); }

void TVQR_ImageList::SetSize(int W, int H) {
  W = std::max(W, 1);
  H = std::max(H, 1);
  if (W == FWidth && H == FHeight) return;
  FWidth = W;
  FHeight = H;
  Clear();
}

int TVQR_ImageList::Add(const TTrueImage& Image) {
  if (Image.Empty()) return -1;
  HandleNeeded();
  const int first = Count();
  for (int left = 0; left < Image.Width(); left += FWidth) FImages.push_back(Cell(Image, left, FWidth, FHeight));
  return first;
}

void TVQR_ImageList::Delete(int Index) {
  if (Index >= 0 && Index < Count()) FImages.erase(FImages.begin() + Index);
}

void TVQR_ImageList::Clear() { FImages.clear(); }

const TTrueImage* TVQR_ImageList::Image(int Index) const {
  return Index >= 0 && Index < Count() ? FImages[static_cast<std::size_t>(Index)].get() : nullptr;
}

QIcon TVQR_ImageList::Icon(int Index) const {
  const TTrueImage* image = Image(Index);
  return image ? QIcon(QPixmap::fromImage(image->ExportPNG())) : QIcon();
}

void TVQR_ImageList::Draw(QPainter& Painter, int X, int Y, int Index, bool Enabled) const {
  DoDraw(Index, Painter, X, Y, dsNormal, Enabled);
}

void TVQR_ImageList::DoDraw(int Index, QPainter& Painter, int X, int Y, TDrawingStyle Style, bool Enabled) const {
  if (!HandleAllocated()) return;
  const TTrueImage* image = Image(Index);
  if (!image) return;
  // With no blend colour, a blend lets what lies beneath show through.
  qreal opacity = Style == dsSelected ? 0.5 : Style == dsFocus ? 0.75 : 1.0;
  if (!Enabled) opacity = std::min(opacity, 0.5);
  Painter.save();
  Painter.setOpacity(Painter.opacity() * opacity);
  Painter.drawImage(QPoint(X, Y), image->ExportPNG());
  Painter.restore();
}

}  // namespace velkor
