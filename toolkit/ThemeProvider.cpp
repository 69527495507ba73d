#include "toolkit/ThemeProvider.h"

#include <QApplication>
#include <QStyle>

#include <cstring>
#include <set>

namespace velkor {

namespace {

// What a handle of this provider points to.
struct TThemeData {
  std::string ClassName;
  QStyle* Style = nullptr;
};

// The handles this provider gave out and has not closed, so that a foreign
// or stale handle is never dereferenced.
std::set<const TThemeData*>& OpenHandles() {
  static std::set<const TThemeData*> handles;
  return handles;
}

const TThemeData* DataOf(HTHEME Theme) {
  const auto* data = reinterpret_cast<const TThemeData*>(Theme);
  return OpenHandles().count(data) ? data : nullptr;
}

HTHEME OpenThemeData(void*, const char* ClassList) {
  if (!ClassList) return 0;
  auto* data = new TThemeData{ClassList, QApplication::style()};
  OpenHandles().insert(data);
  return reinterpret_cast<HTHEME>(data);
}

HRESULT CloseThemeData(HTHEME Theme) {
  const TThemeData* data = DataOf(Theme);
  if (!data) return E_INVALIDARG;
  OpenHandles().erase(data);
  delete data;
  return 0;
}

HRESULT DrawThemeBackground(HTHEME, HDC, int, int, const TRect*, const TRect*) { return E_NOTIMPL; }
HRESULT DrawThemeEdge(HTHEME, HDC, int, int, const TRect*, std::uint32_t, std::uint32_t, TRect*) { return E_NOTIMPL; }
HRESULT GetThemeColor(HTHEME, int, int, int, std::uint32_t*) { return E_NOTIMPL; }
HRESULT GetThemeMetric(HTHEME, HDC, int, int, int, int*) { return E_NOTIMPL; }
HRESULT GetThemeMargins(HTHEME, HDC, int, int, int, const TRect*, TMargins*) { return E_NOTIMPL; }
HRESULT SetWindowTheme(void*, const char*, const char*) { return E_NOTIMPL; }
int IsThemeActive() { return 1; }
int IsAppThemed() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }
HRESULT EnableTheming(int) { return E_NOTIMPL; }

struct TEntryPoint {
  const char* Name;
  void* Address;
};

const TEntryPoint kEntryPoints[] = {
    {"OpenThemeData", reinterpret_cast<void*>(&OpenThemeData)},
    {"CloseThemeData", reinterpret_cast<void*>(&CloseThemeData)},
    {"DrawThemeBackground", reinterpret_cast<void*>(&DrawThemeBackground)},
    {"DrawThemeEdge", reinterpret_cast<void*>(&DrawThemeEdge)},
    {"GetThemeColor", reinterpret_cast<void*>(&GetThemeColor)},
    {"GetThemeMetric", reinterpret_cast<void*>(&GetThemeMetric)},
    {"GetThemeMargins", reinterpret_cast<void*>(&GetThemeMargins)},
    {"SetWindowTheme", reinterpret_cast<void*>(&SetWindowTheme)},
    {"IsThemeActive", reinterpret_cast<void*>(&IsThemeActive)},
    {"IsAppThemed", reinterpret_cast<void*>(&IsAppThemed)},
    {"EnableTheming", reinterpret_cast<void*>(&EnableTheming)},
};

class TStyleThemeProvider : public TThemeProvider {
 public:
  bool Load() override {
    FLoaded = true;
    return true;
  }
  void Unload() override { FLoaded = false; }
  void* GetProcAddress(const char* Name) override {
    if (!FLoaded || !Name) return nullptr;
    for (const TEntryPoint& e : kEntryPoints)
      if (std::strcmp(e.Name, Name) == 0) return e.Address;
    return nullptr;
  }

 private:
  bool FLoaded = false;
};

}  // namespace

TThemeProvider& DefaultThemeProvider() {
  static TStyleThemeProvider provider;
  return provider;
}

std::string ThemeClassName(HTHEME Theme) {
  const TThemeData* data = DataOf(Theme);
  return data ? data->ClassName : std::string();
}

QStyle* ThemeStyle(HTHEME Theme) {
  const TThemeData* data = DataOf(Theme);
  return data ? data->Style : nullptr;
}

}  // namespace velkor
