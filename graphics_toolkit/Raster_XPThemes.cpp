#include "graphics_toolkit/Raster_XPThemes.h"

#include <QCoreApplication>
#include <QEvent>

#include <memory>

#include "graphics/Raster_System.h"

namespace velkor::Raster_XPThemes {

TThemeProvider* ThemeLibraryHandle = nullptr;
TOpenThemeData OpenThemeData = nullptr;
TCloseThemeData CloseThemeData = nullptr;
TDrawThemeBackground DrawThemeBackground = nullptr;
TDrawThemeEdge DrawThemeEdge = nullptr;
TGetThemeColor GetThemeColor = nullptr;
TGetThemeMetric GetThemeMetric = nullptr;
TGetThemeMargins GetThemeMargins = nullptr;
TSetWindowTheme SetWindowTheme = nullptr;
TIsThemeActive IsThemeActive = nullptr;
TIsAppThemed IsAppThemed = nullptr;
TEnableTheming EnableTheming = nullptr;
bool ThemesInUse = false;
HTHEME ScrollBarThemeHandle = 0;
HTHEME GlobalsThemeHandle = 0;

namespace {

TThemeProvider* Provider = nullptr;  // nullptr: the default
std::unique_ptr<TThemeNexus> Nexus;
// The object handles are opened for: the nexus while it lives.
TThemeNexus* NexusWindow = nullptr;
Raster_System::TUnitInitCounter Counter;

TThemeProvider& CurrentProvider() { return Provider ? *Provider : DefaultThemeProvider(); }

template <class F>
void Bind(F& Variable, const char* Name) {
  Variable = reinterpret_cast<F>(ThemeLibraryHandle->GetProcAddress(Name));
}

void ClearEntryPoints() {
  OpenThemeData = nullptr;
  CloseThemeData = nullptr;
  DrawThemeBackground = nullptr;
  DrawThemeEdge = nullptr;
  GetThemeColor = nullptr;
  GetThemeMetric = nullptr;
  GetThemeMargins = nullptr;
  SetWindowTheme = nullptr;
  IsThemeActive = nullptr;
  IsAppThemed = nullptr;
  EnableTheming = nullptr;
}

bool IsThemeEvent(const QEvent* Event) {
  switch (Event->type()) {
    case QEvent::ThemeChange:
    case QEvent::StyleChange:
    case QEvent::ApplicationPaletteChange:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool LoadThemeLibrary() {
  if (ThemeLibraryHandle) return true;
  TThemeProvider& provider = CurrentProvider();
  if (!provider.Load()) return false;
  ThemeLibraryHandle = &provider;
  Bind(OpenThemeData, "OpenThemeData");
  Bind(CloseThemeData, "CloseThemeData");
  Bind(DrawThemeBackground, "DrawThemeBackground");
  Bind(DrawThemeEdge, "DrawThemeEdge");
  Bind(GetThemeColor, "GetThemeColor");
  Bind(GetThemeMetric, "GetThemeMetric");
  Bind(GetThemeMargins, "GetThemeMargins");
  Bind(SetWindowTheme, "SetWindowTheme");
  Bind(IsThemeActive, "IsThemeActive");
  Bind(IsAppThemed, "IsAppThemed");
  Bind(EnableTheming, "EnableTheming");
  if (!OpenThemeData || !CloseThemeData || !IsThemeActive || !IsAppThemed || !EnableTheming) UnloadThemeLibrary();
  return ThemeLibraryHandle != nullptr;
}

void UnloadThemeLibrary() {
  if (!ThemeLibraryHandle) return;
  ThemeLibraryHandle->Unload();
  ThemeLibraryHandle = nullptr;
  ClearEntryPoints();
}

bool ThemingActive() { return ThemeLibraryHandle && IsAppThemed() != 0 && IsThemeActive() != 0; }

void OpenThemeHandles() {
  ThemesInUse = false;
  if (!LoadThemeLibrary()) return;
  ThemesInUse = ThemingActive();
  if (ThemesInUse) {
    ScrollBarThemeHandle = OpenThemeData(NexusWindow, "SCROLLBAR");
    GlobalsThemeHandle = OpenThemeData(NexusWindow, "GLOBALS");
  }
}

void CloseThemeHandles() {
  // Every open handle is closed, also when theming has just been switched
  // off: a handle opened while it was on would otherwise leak and keep a
  // stale value.
  if (ThemeLibraryHandle) {
    if (ScrollBarThemeHandle) CloseThemeData(ScrollBarThemeHandle);
    if (GlobalsThemeHandle) CloseThemeData(GlobalsThemeHandle);
  }
  ScrollBarThemeHandle = 0;
  GlobalsThemeHandle = 0;
  UnloadThemeLibrary();
}

void SetThemeProvider(TThemeProvider* Value) {
  CloseThemeHandles();
  Provider = Value;
}

// --- TThemeNexus -------------------------------------------------------------------------

TThemeNexus::TThemeNexus() {
  NexusWindow = this;
  if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
  OpenThemeHandles();
}

TThemeNexus::~TThemeNexus() {
  CloseThemeHandles();
  if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
  if (NexusWindow == this) NexusWindow = nullptr;
}

void TThemeNexus::ThemeChanged() {
  FChangePending = false;
  CloseThemeHandles();
  OpenThemeHandles();
}

bool TThemeNexus::eventFilter(QObject* Watched, QEvent* Event) {
  // Watching the application object sees the events of every object: one
  // switch of style reaches each widget, so the reopening is queued once.
  if (IsThemeEvent(Event) && !FChangePending) {
    FChangePending = true;
    QMetaObject::invokeMethod(this, [this] { ThemeChanged(); }, Qt::QueuedConnection);
  }
  return QObject::eventFilter(Watched, Event);
}

TThemeNexus* ThemeNexus() { return Nexus.get(); }

void Startup() {
  if (!Counter.Enter()) return;
  Nexus = std::make_unique<TThemeNexus>();
}

void Shutdown() {
  if (!Counter.Leave()) return;
  Nexus.reset();
}

}  // namespace velkor::Raster_XPThemes
