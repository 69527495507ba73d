// Qt's own texts in our windows (the buttons of message boxes and button
// rows, the file and folder dialogs, the edit menus) in Vietnamese. Debian
// carries no Vietnamese catalogue of them, so the program brings its own:
// app/translations/qt_vi.ts, compiled at build time and kept among the
// program's resources.
#pragma once

namespace velkor {

// Installs the catalogue on the application (once; later calls do
// nothing). False when it could not be read.
bool InstallQtTexts();

}  // namespace velkor
