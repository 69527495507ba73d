// The program's cursors. Controls name a cursor by its id (crHandPoint,
// crArrow, ...) and take the QCursor from CursorOf, so that the program's
// own cursors, once LoadAppCursors has installed them, replace Qt's shapes
// everywhere, in controls made before and after.
#pragma once

#include <QCursor>

#include <cstdint>

namespace velkor {

using TCursor = std::int16_t;

inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;

// The cursor installed for Id, else Qt's shape of that kind (the arrow for
// ids without one).
QCursor CursorOf(TCursor Id);
// Installs Cursor for Id (what LoadAppCursors does for its three).
void SetCursorOf(TCursor Id, const QCursor& Cursor);

// Once per process, after the QApplication exists: installs the program's
// arrow, hand and hourglass cursors from the resources ("ARROWCURSOR",
// "HANDPOINTCURSOR", "HOURGLASSCURSOR"). A resource that cannot be read
// leaves Qt's cursor in place. Later calls do nothing.
void LoadAppCursors();

// Reads the ARGB image at Path (a file or a Qt resource) and installs it
// for Id with the hot spot given; false, and nothing installed, when it
// cannot be read.
bool LoadCursorResource(TCursor Id, const QString& Path, int HotX, int HotY);

}  // namespace velkor
