#include "app/MainImages.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

#include "components/ImageLists.h"
#include "components/TrueImages.h"

namespace velkor {

namespace {

using TDraw = std::function<void(QPainter&)>;

const QColor kInk(40, 48, 64);
const QColor kPaper(250, 250, 246);
const QColor kFolder(240, 190, 70);
const QColor kFolderDark(200, 145, 35);
const QColor kBlue(45, 110, 200);
const QColor kGreen(40, 160, 70);
const QColor kRed(210, 55, 50);
const QColor kGrey(130, 136, 146);
const QColor kSkin(235, 190, 150);

// The light rim under a picture whose outline is dark ink: on a dark style's
// toolbar the outline would vanish into the background.
const QColor kRim(236, 240, 248);
constexpr double kRimWidth = 1.5;  // pixels of a 48-pixel picture

QImage WithRim(const QImage& Picture) {
  QImage silhouette = Picture;
  {
    QPainter p(&silhouette);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(silhouette.rect(), kRim);
  }
  QImage out(Picture.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(Qt::transparent);
  QPainter p(&out);
  const double r = kRimWidth * Picture.width() / 48.0;
  for (int i = 0; i < 16; ++i) {
    const double a = i * 3.14159265 / 8;
    p.drawImage(QPointF(r * std::cos(a), r * std::sin(a)), silhouette);
  }
  p.drawImage(0, 0, Picture);
  return out;
}

void AddImage(TVQR_ImageList& List, int Size, const TDraw& Draw, bool Rim = false) {
  QImage image(Size, Size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(Size / 48.0, Size / 48.0);  // every picture is drawn on a 48 x 48 grid
    Draw(p);
  }
  if (Rim) image = WithRim(image);
  TTrueImage glyph;
  glyph.AssignDIB32(image);
  List.Add(glyph);
}

QPen Pen(const QColor& C, double W) { return QPen(C, W, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void Page(QPainter& p, const QRectF& r) {
  QPainterPath path;
  const double fold = r.width() * 0.3;
  path.moveTo(r.topLeft());
  path.lineTo(r.right() - fold, r.top());
  path.lineTo(r.right(), r.top() + fold);
  path.lineTo(r.bottomRight());
  path.lineTo(r.bottomLeft());
  path.closeSubpath();
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(kPaper);
  p.drawPath(path);
  p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
  p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
}

void TextLines(QPainter& p, const QRectF& r, int n) {
  p.setPen(Pen(kGrey, 1.6));
  for (int i = 0; i < n; ++i) {
    const double y = r.top() + (i + 1) * r.height() / (n + 1);
    p.drawLine(QPointF(r.left(), y), QPointF(r.right() - (i % 2) * r.width() * 0.3, y));
  }
}

void Folder(QPainter& p, const QRectF& r, bool Open) {
  p.setPen(Pen(kFolderDark, 1.6));
  p.setBrush(kFolderDark);
  QPainterPath back;
  back.moveTo(r.left(), r.bottom());
  back.lineTo(r.left(), r.top());
  back.lineTo(r.left() + r.width() * 0.35, r.top());
  back.lineTo(r.left() + r.width() * 0.45, r.top() + r.height() * 0.15);
  back.lineTo(r.right(), r.top() + r.height() * 0.15);
  back.lineTo(r.right(), r.bottom());
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(kFolder);
  QPainterPath front;
  if (Open) {
    front.moveTo(r.left(), r.bottom());
    front.lineTo(r.left() + r.width() * 0.15, r.top() + r.height() * 0.35);
    front.lineTo(r.right() + r.width() * 0.08, r.top() + r.height() * 0.35);
    front.lineTo(r.right(), r.bottom());
  } else {
    front.addRect(QRectF(r.left(), r.top() + r.height() * 0.28, r.width(), r.height() * 0.72));
  }
  front.closeSubpath();
  p.drawPath(front);
}

void Person(QPainter& p, double X, double Y, double S, const QColor& Shirt) {
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(Shirt);
  p.drawChord(QRectF(X - 9 * S, Y + 2 * S, 18 * S, 18 * S), 0, 180 * 16);
  p.setBrush(kSkin);
  p.drawEllipse(QPointF(X, Y - 2 * S), 5.5 * S, 5.5 * S);
}

void People(QPainter& p) {
  Person(p, 30, 14, 0.9, kGrey);
  Person(p, 19, 20, 1.05, kBlue);
}

void Check(QPainter& p, const QRectF& r, const QColor& C, double W = 4) {
  p.setPen(Pen(C, W));
  p.setBrush(Qt::NoBrush);
  QPainterPath path;
  path.moveTo(r.left(), r.top() + r.height() * 0.55);
  path.lineTo(r.left() + r.width() * 0.38, r.bottom());
  path.lineTo(r.right(), r.top());
  p.drawPath(path);
}

void Cross(QPainter& p, const QRectF& r, const QColor& C, double W = 4) {
  p.setPen(Pen(C, W));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
}

void Badge(QPainter& p, const QPointF& C, double R, const QColor& Fill) {
  p.setPen(Pen(Qt::white, 1.5));
  p.setBrush(Fill);
  p.drawEllipse(C, R, R);
}

void Plus(QPainter& p, const QPointF& C, double R) {
  Badge(p, C, R, kGreen);
  p.setPen(Pen(Qt::white, 2.6));
  p.drawLine(QPointF(C.x() - R * 0.55, C.y()), QPointF(C.x() + R * 0.55, C.y()));
  p.drawLine(QPointF(C.x(), C.y() - R * 0.55), QPointF(C.x(), C.y() + R * 0.55));
}

// Two arrows chasing each other round C.
void Circling(QPainter& p, const QPointF& C, double R, const QColor& Col) {
  p.setPen(Pen(Col, 3.2));
  p.setBrush(Qt::NoBrush);
  const QRectF box(C.x() - R, C.y() - R, 2 * R, 2 * R);
  p.drawArc(box, 20 * 16, 140 * 16);
  p.drawArc(box, 200 * 16, 140 * 16);
  p.setBrush(Col);
  p.setPen(Pen(Col, 1));
  auto head = [&](double AngleDeg, double Dir) {
    const double a = AngleDeg * 3.14159265 / 180;
    const QPointF tip(C.x() + R * std::cos(a), C.y() - R * std::sin(a));
    const QPointF along(-std::sin(a) * Dir, -std::cos(a) * Dir);
    const QPointF out(std::cos(a), -std::sin(a));
    const QPointF pts[3] = {tip + along * 5, tip - along * 1 + out * 4.5, tip - along * 1 - out * 4.5};
    p.drawPolygon(pts, 3);
  };
  head(20, -1);
  head(200, -1);
}

// A horizontal arrow with a head at both ends, from X1 to X2 at height Y.
void TwoWayArrow(QPainter& p, double X1, double X2, double Y, double Head, const QColor& C, double W) {
  p.setPen(Pen(C, W));
  p.drawLine(QPointF(X1, Y), QPointF(X2, Y));
  for (const auto& [x, inward] : {std::pair{X1, Head}, std::pair{X2, -Head}}) {
    p.drawLine(QPointF(x, Y), QPointF(x + inward, Y - Head));
    p.drawLine(QPointF(x, Y), QPointF(x + inward, Y + Head));
  }
}

void Checkbox(QPainter& p, const QRectF& r, int State) {
  p.setPen(Pen(kInk, 1.6));
  p.setBrush(kPaper);
  p.drawRoundedRect(r, 2.5, 2.5);
  if (State == 1) Check(p, r.adjusted(3, 4, -3, -3), kGreen, 3);
  if (State == 2) Cross(p, r.adjusted(4, 4, -4, -4), kRed, 2.6);
}

void Gear(QPainter& p, const QPointF& C, double R, const QColor& Col) {
  QPainterPath path;
  const int teeth = 8;
  for (int i = 0; i < teeth * 2; ++i) {
    const double a0 = i * 3.14159265 / teeth, a1 = (i + 1) * 3.14159265 / teeth;
    const double r = i % 2 == 0 ? R : R * 0.78;
    const QPointF p0(C.x() + r * std::cos(a0), C.y() + r * std::sin(a0));
    const QPointF p1(C.x() + r * std::cos(a1), C.y() + r * std::sin(a1));
    if (i == 0) path.moveTo(p0);
    else path.lineTo(p0);
    path.lineTo(p1);
  }
  path.closeSubpath();
  path.addEllipse(C, R * 0.32, R * 0.32);
  path.setFillRule(Qt::OddEvenFill);
  p.setPen(Pen(kInk, 1.2));
  p.setBrush(Col);
  p.drawPath(path);
}

void Letter(QPainter& p, const QRectF& r, const QString& Text, const QColor& Col, int Px) {
  QFont f = p.font();
  f.setPixelSize(Px);
  f.setBold(true);
  p.setFont(f);
  p.setPen(Col);
  p.drawText(r, Qt::AlignCenter, Text);
}

void Sheet(QPainter& p, const QRectF& r) {
  p.setPen(Pen(QColor(20, 110, 50), 1.6));
  p.setBrush(QColor(235, 248, 238));
  p.drawRect(r);
  p.setBrush(QColor(40, 140, 70));
  p.drawRect(QRectF(r.left(), r.top(), r.width(), r.height() / 4));
  p.setPen(Pen(QColor(20, 110, 50), 1.0));
  for (int i = 1; i < 3; ++i) p.drawLine(QPointF(r.left() + i * r.width() / 3, r.top()), QPointF(r.left() + i * r.width() / 3, r.bottom()));
  for (int i = 2; i < 4; ++i) p.drawLine(QPointF(r.left(), r.top() + i * r.height() / 4), QPointF(r.right(), r.top() + i * r.height() / 4));
}

const TDraw kActionImages[kMainImageCount] = {
    // 0 new contest
    [](QPainter& p) {
      Page(p, {9, 4, 28, 38});
      TextLines(p, {14, 16, 16, 20}, 3);
      Plus(p, {35, 35}, 9);
    },
    // 1 open contest
    [](QPainter& p) { Folder(p, {4, 10, 38, 30}, true); },
    // 2 save contest
    [](QPainter& p) {
      p.setPen(Pen(kInk, 1.6));
      p.setBrush(kBlue);
      p.drawRoundedRect(QRectF(6, 6, 36, 36), 3, 3);
      p.setBrush(kPaper);
      p.drawRect(QRectF(12, 6, 24, 14));
      p.setBrush(QColor(60, 70, 90));
      p.drawRect(QRectF(14, 28, 20, 14));
      p.setBrush(kPaper);
      p.drawRect(QRectF(27, 9, 5, 8));
    },
    // 3 settings
    [](QPainter& p) {
      Gear(p, {20, 20}, 14, kGrey);
      Gear(p, {34, 34}, 10, QColor(90, 150, 220));
    },
    // 4 exit
    [](QPainter& p) {
      p.setPen(Pen(kInk, 1.6));
      p.setBrush(QColor(150, 100, 60));
      p.drawRect(QRectF(8, 5, 22, 38));
      p.setBrush(kFolder);
      p.drawEllipse(QPointF(25, 25), 1.8, 1.8);
      p.setPen(Pen(kRed, 4));
      p.drawLine(QPointF(26, 24), QPointF(43, 24));
      p.setBrush(kRed);
      p.setPen(Pen(kRed, 1));
      const QPointF head[3] = {{46, 24}, {37, 16}, {37, 32}};
      p.drawPolygon(head, 3);
    },
    // 5 load exams
    [](QPainter& p) {
      Folder(p, {4, 12, 40, 30}, false);
      Page(p, {16, 4, 20, 26});
      TextLines(p, {19, 9, 12, 16}, 3);
    },
    // 6 refresh exams
    [](QPainter& p) {
      Page(p, {6, 4, 26, 36});
      TextLines(p, {10, 12, 16, 22}, 4);
      Circling(p, {33, 33}, 10, kBlue);
    },
    // 7 select all exams
    [](QPainter& p) {
      Checkbox(p, {5, 5, 18, 18}, 1);
      Checkbox(p, {25, 5, 18, 18}, 1);
      Checkbox(p, {5, 25, 18, 18}, 1);
      Checkbox(p, {25, 25, 18, 18}, 1);
    },
    // 8 deselect all exams
    [](QPainter& p) {
      Checkbox(p, {5, 5, 18, 18}, 2);
      Checkbox(p, {25, 5, 18, 18}, 2);
      Checkbox(p, {5, 25, 18, 18}, 2);
      Checkbox(p, {25, 25, 18, 18}, 2);
    },
    // 9 invert exams
    [](QPainter& p) {
      Checkbox(p, {4, 14, 18, 18}, 1);
      Checkbox(p, {26, 14, 18, 18}, 0);
      TwoWayArrow(p, 12, 36, 40, 4, kBlue, 2.4);
    },
    // 10 exam settings
    [](QPainter& p) {
      Page(p, {6, 4, 28, 38});
      TextLines(p, {10, 12, 18, 24}, 4);
      Gear(p, {34, 34}, 11, QColor(90, 150, 220));
    },
    // 11 load contestants
    [](QPainter& p) {
      Folder(p, {4, 14, 40, 28}, false);
      Person(p, 24, 18, 1.0, kBlue);
    },
    // 12 refresh contestants
    [](QPainter& p) {
      Person(p, 18, 16, 1.2, kBlue);
      Circling(p, {34, 34}, 10, kGreen);
    },
    // 13 select all contestants
    [](QPainter& p) {
      People(p);
      Badge(p, {35, 35}, 10, kGreen);
      Check(p, {30, 30, 11, 9}, Qt::white, 2.8);
    },
    // 14 deselect all contestants
    [](QPainter& p) {
      People(p);
      Badge(p, {35, 35}, 10, kRed);
      Cross(p, {31, 31, 8, 8}, Qt::white, 2.8);
    },
    // 15 invert contestants
    [](QPainter& p) {
      People(p);
      Badge(p, {35, 35}, 10, kBlue);
      TwoWayArrow(p, 29, 41, 35, 3, Qt::white, 2.2);
    },
    // 16 judge
    [](QPainter& p) {
      Page(p, {6, 4, 30, 40});
      TextLines(p, {10, 10, 14, 22}, 4);
      Badge(p, {33, 32}, 12, kGreen);
      Check(p, {27, 27, 13, 10}, Qt::white, 3.2);
    },
    // 17 online judging
    [](QPainter& p) {
      p.setPen(Pen(kBlue, 2));
      p.setBrush(QColor(210, 230, 250));
      p.drawEllipse(QPointF(22, 22), 17, 17);
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QPointF(22, 22), 7, 17);
      p.drawLine(QPointF(5, 22), QPointF(39, 22));
      p.drawLine(QPointF(8, 13), QPointF(36, 13));
      p.drawLine(QPointF(8, 31), QPointF(36, 31));
      Badge(p, {36, 36}, 9, kGreen);
      p.setPen(Pen(Qt::white, 2.6));
      p.drawLine(QPointF(36, 31), QPointF(36, 41));
      p.drawLine(QPointF(36, 41), QPointF(32, 37));
      p.drawLine(QPointF(36, 41), QPointF(40, 37));
    },
    // 18 details
    [](QPainter& p) {
      Page(p, {5, 4, 28, 38});
      TextLines(p, {9, 10, 18, 26}, 5);
      p.setPen(Pen(kInk, 3));
      p.setBrush(QColor(200, 225, 250, 200));
      p.drawEllipse(QPointF(29, 28), 9, 9);
      p.setPen(Pen(kInk, 5));
      p.drawLine(QPointF(36, 35), QPointF(43, 42));
    },
    // 19 export
    [](QPainter& p) {
      Sheet(p, {4, 6, 32, 34});
      p.setPen(Pen(kBlue, 3.5));
      p.drawLine(QPointF(26, 30), QPointF(42, 30));
      p.setBrush(kBlue);
      p.setPen(Pen(kBlue, 1));
      const QPointF head[3] = {{46, 30}, {38, 23}, {38, 37}};
      p.drawPolygon(head, 3);
    },
    // 20 compilers
    [](QPainter& p) {
      p.setPen(Pen(kInk, 1.6));
      p.setBrush(QColor(60, 70, 90));
      p.drawRoundedRect(QRectF(10, 10, 28, 28), 3, 3);
      p.setPen(Pen(kGrey, 2));
      for (int i = 0; i < 4; ++i) {
        const double t = 14 + i * 6.7;
        p.drawLine(QPointF(t, 4), QPointF(t, 10));
        p.drawLine(QPointF(t, 38), QPointF(t, 44));
        p.drawLine(QPointF(4, t), QPointF(10, t));
        p.drawLine(QPointF(38, t), QPointF(44, t));
      }
      Letter(p, {10, 10, 28, 28}, "</>", QColor(120, 220, 140), 11);
    },
    // 21 security
    [](QPainter& p) {
      p.setPen(Pen(kGrey, 4));
      p.setBrush(Qt::NoBrush);
      p.drawArc(QRectF(14, 5, 20, 24), 0, 180 * 16);
      p.drawLine(QPointF(14, 17), QPointF(14, 22));
      p.drawLine(QPointF(34, 17), QPointF(34, 22));
      p.setPen(Pen(kInk, 1.6));
      p.setBrush(kFolder);
      p.drawRoundedRect(QRectF(9, 21, 30, 22), 3, 3);
      p.setBrush(kInk);
      p.drawEllipse(QPointF(24, 30), 3, 3);
      p.drawRect(QRectF(23, 31, 2, 7));
    },
    // 22 delete scores
    [](QPainter& p) {
      Sheet(p, {4, 6, 32, 34});
      Badge(p, {35, 35}, 10, kRed);
      Cross(p, {31, 31, 8, 8}, Qt::white, 2.8);
    },
    // 23 help
    [](QPainter& p) {
      Badge(p, {24, 24}, 19, kBlue);
      Letter(p, {5, 4, 38, 40}, "?", Qt::white, 28);
    },
    // 24 about
    [](QPainter& p) {
      Badge(p, {24, 24}, 19, QColor(30, 140, 160));
      Letter(p, {5, 4, 38, 40}, "i", Qt::white, 28);
    },
};

}  // namespace

void LoadMainImages(TVQR_ImageList& Actions, TVQR_ImageList& States) {
  Actions.Clear();
  States.Clear();
  // The settings and exam-settings gears, the compilers' chip and the lock
  // are dark-edged shapes: they get a light rim, so that a dark style's
  // toolbar shows them as well as a light one.
  constexpr int kRimmed[] = {3, 10, 20, 21};
  for (int i = 0; i < kMainImageCount; ++i)
    AddImage(Actions, Actions.Width(), kActionImages[i], std::find(std::begin(kRimmed), std::end(kRimmed), i) != std::end(kRimmed));
  AddImage(States, States.Width(), [](QPainter& p) { Checkbox(p, {6, 6, 36, 36}, 0); });
  AddImage(States, States.Width(), [](QPainter& p) {
    p.setPen(Pen(kInk, 2.4));
    p.setBrush(kPaper);
    p.drawRoundedRect(QRectF(6, 6, 36, 36), 5, 5);
    Check(p, {12, 13, 25, 21}, kGreen, 6);
  });
}

}  // namespace velkor
