// Qt's own texts and formats in our windows in Vietnamese: the buttons of
// message boxes and button rows, the file and folder dialogs (their sizes,
// dates and file kinds included), the edit menus.
//
// Debian carries no Vietnamese catalogue of Qt's texts, so the program
// brings its own: app/translations/qt_vi.ts, compiled at build time and
// kept among the program's resources. Velkor's own locale is Vietnamese
// whatever the environment says (LANG is often unset on a judging machine);
// the programs it starts keep the environment's, so a contestant's output
// never changes with it.
#pragma once

namespace velkor {

// Installs the catalogue on the application and makes Vietnamese the
// application's locale (once; later calls do nothing). False when the
// catalogue could not be read.
bool InstallQtTexts();

}  // namespace velkor
