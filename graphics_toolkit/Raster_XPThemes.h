// Optional access to the desktop's visual-style entry points, bound by name
// at run time from a theme provider (toolkit/ThemeProvider.h), and two theme
// handles (classes "SCROLLBAR" and "GLOBALS") kept open for the whole run.
//
// The theme nexus watches the application for theme changes (a new
// platform theme, style or application palette), and then closes the
// handles, unloads the entry points, loads them again and reopens the
// handles. Several change events of one switch are answered once, from the
// event loop. Nothing in the program draws through these handles; the
// module publishes ThemesInUse and the handles for controls that would.
#pragma once

#include <QObject>

#include "toolkit/ThemeProvider.h"

namespace velkor::Raster_XPThemes {

// The loaded provider, nullptr while none is loaded.
extern TThemeProvider* ThemeLibraryHandle;

// Bound by LoadThemeLibrary, in this order; all nullptr while unloaded.
extern TOpenThemeData OpenThemeData;
extern TCloseThemeData CloseThemeData;
extern TDrawThemeBackground DrawThemeBackground;
extern TDrawThemeEdge DrawThemeEdge;
extern TGetThemeColor GetThemeColor;
extern TGetThemeMetric GetThemeMetric;
extern TGetThemeMargins GetThemeMargins;
extern TSetWindowTheme SetWindowTheme;
extern TIsThemeActive IsThemeActive;
extern TIsAppThemed IsAppThemed;
extern TEnableTheming EnableTheming;

// The visual style is usable; the handles are 0 when closed.
extern bool ThemesInUse;
extern HTHEME ScrollBarThemeHandle;
extern HTHEME GlobalsThemeHandle;

// True when loaded afterwards. A provider lacking OpenThemeData,
// CloseThemeData, IsThemeActive, IsAppThemed or EnableTheming is unloaded
// again; the other six may be missing (nullptr).
bool LoadThemeLibrary();
// Nothing when not loaded.
void UnloadThemeLibrary();
// Loaded, IsAppThemed and then (only if it answered non-zero)
// IsThemeActive.
bool ThemingActive();
// ThemesInUse from ThemingActive; with themes in use both handles opened
// for the nexus.
void OpenThemeHandles();
// Closes every open handle (whenever the library is loaded), zeroes both
// and unloads the library.
void CloseThemeHandles();

// The provider LoadThemeLibrary uses: nullptr restores the default. Closes
// the handles of the current one first.
void SetThemeProvider(TThemeProvider* Provider);

class TThemeNexus : public QObject {
 public:
  // Watches the application (when one exists) and opens the handles.
  TThemeNexus();
  // Closes the handles.
  ~TThemeNexus() override;

  // A theme change: close, then reopen.
  void ThemeChanged();

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  bool FChangePending = false;
};

// The nexus made by Startup, nullptr before and after.
TThemeNexus* ThemeNexus();

// Start-up creates the nexus (the QApplication should exist by then);
// shut-down frees it.
void Startup();
void Shutdown();

}  // namespace velkor::Raster_XPThemes
