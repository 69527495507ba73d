// The program's GUI font. Start-up makes the font "ZARIRA" available from
// the file "ZARIRA.ttf" beside the program when no font of that family is
// installed, chooses the GUI font ("/GUIFONT Name[:Size]", else ZARIRA 9,
// else "Arial Unicode MS" 9) and makes it the application's default and
// the font of menus, tooltips and message boxes. The file is added for this
// process only; shutdown removes it again, and only when start-up added it.
// Qt tells every widget about the change itself (ApplicationFontChange), so
// nothing is broadcast.
#pragma once

#include <QFont>

#include <string>

#include "toolkit/Colors.h"

namespace velkor {

inline constexpr const char* kGuiFontFamily = "ZARIRA";
inline constexpr const char* kGuiFontFile = "ZARIRA.ttf";
inline constexpr const char* kFallbackGuiFontFamily = "Arial Unicode MS";

// The process-wide GUI font and the colour kept beside it.
struct TGuiFont {
  QFont Font;
  TColor Color = clBtnText;
};
const TGuiFont& CurrentGuiFont();

// Whether a font family named Family is available, ignoring letter case.
bool FontFamilyAvailable(const std::string& Family);

// When no family "ZARIRA" is available and Folder + "ZARIRA.ttf" exists,
// adds that file to the process's fonts; true when it was added. A file Qt
// cannot read is not added. Folder ends with "/"; the default is MyDirD.
bool LoadGuiFontFile();
bool LoadGuiFontFile(const std::string& Folder);
// Whether start-up added the file (and shutdown will remove it).
bool GuiFontFileAdded();

// Chooses the GUI font from the parameter after "/GUIFONT" (any letter
// case): "Name" or "Name:Size", the size 8 when missing, unparsable or not
// positive; without the switch or a parameter after it, ZARIRA 9 when
// available, else "Arial Unicode MS" 9.
void ChooseGuiFont();
// Replaces the GUI font: Name at Size points, no style, colour clBtnText.
// A size that is not positive gives 8.
void CreateGuiFont(const std::string& Name, int Size);
// Font (nullptr: the GUI font) becomes the application's default and the
// font of menus, menu bars, tooltips and message boxes.
void ApplyDefaultFont(const QFont* Font = nullptr);

// Start-up, once the QApplication exists and before the judging core's
// configuration: LoadGuiFontFile, ChooseGuiFont, ApplyDefaultFont.
void DefaultFontsStartup();
// Shutdown, before the QApplication goes: removes the font file if
// start-up added it.
void DefaultFontsShutdown();

}  // namespace velkor
