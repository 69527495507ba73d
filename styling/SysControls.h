// The manager of the style hooks: which hook class styles which widget
// class, the live hook of every hooked widget, the children that wait for
// their parent, and the creation hook that finds new widgets.
//
// The creation hook is an application-wide event filter. A widget's first
// QEvent::Polish (sent once, before it is first shown) is its creation: if
// its class (or a base class) is registered, it is hooked then, or, as a
// child of a hooked menu, recorded and hooked when that parent shows. A
// widget's QObject::destroyed is its destruction: its hook is freed at once,
// without touching the widget, and its records go with it.
//
// Everything runs on the GUI thread; the state is process-wide.
#pragma once

#include <QRect>

#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "styling/SysStyleHook.h"

namespace velkor {

// A style hook class: makes the hook for one widget.
using TSysStyleHookClass = std::unique_ptr<TSysStyleHook> (*)(QWidget* AHandle);

template <class THook>
std::unique_ptr<TSysStyleHook> CreateStyleHook(QWidget* AHandle) {
  return std::make_unique<THook>(AHandle);
}

struct TSysControlInfo {
  QWidget* Handle = nullptr;
  QWidget* Parent = nullptr;
  Qt::WindowFlags Style;
  Qt::WindowFlags ParentStyle;
  std::string ClassName;        // lower case
  std::string ParentClassName;  // lower case
};

struct TChildControlInfo {
  QWidget* Parent = nullptr;
  Qt::WindowFlags ParentStyle;
  TSysStyleHookClass StyleHookClass = nullptr;
};

using TBeforeHookingEvent = bool (*)(const TSysControlInfo& Info);
// Kind 0: a widget was hooked or recorded as a waiting child; kind 1: a
// hooked widget is being destroyed (only Handle is set then).
using THookNotificationEvent = void (*)(int Kind, const TSysControlInfo& Info);

class TSysStyleManager {
 public:
  TSysStyleManager() = delete;

  static inline bool HookingEnabled = true;
  static inline bool ReflectCtlColor = true;
  static inline bool HookToolkitControls = false;
  static bool BeforeHookingControl(const TSysControlInfo& Info);
  static void HookNotification(int Kind, const TSysControlInfo& Info);
  static inline TBeforeHookingEvent OnBeforeHooking = &BeforeHookingControl;
  static inline THookNotificationEvent OnHookNotification = &HookNotification;

  // Keyed by the lower-case class name.
  static std::map<std::string, TSysStyleHookClass>& RegisteredHooks();
  static std::map<QWidget*, std::unique_ptr<TSysStyleHook>>& LiveHooks();
  static std::map<QWidget*, TChildControlInfo>& ChildControls();

  // A second registration under the same name (in any letter case)
  // replaces the first. Unregistering goes by the name alone.
  static void RegisterSysStyleHook(std::string_view SysControlClass, TSysStyleHookClass SysStyleHookClass);
  static void UnRegisterSysStyleHook(std::string_view SysControlClass, TSysStyleHookClass SysStyleHookClass = nullptr);

  static void InstallHook();
  static void UninstallHook();

  // Hooks one widget with the class registered for it, replacing a hook it
  // already has.
  static void HookControl(QWidget* Widget, const TSysControlInfo& Info);
  // Remembers a child whose hooking waits for its parent.
  static void RecordChildControl(QWidget* Widget, const TSysControlInfo& Info);
  // Hooks the recorded children of Parent that have no hook yet.
  static void HookRecordedChildren(QWidget* Parent);
  static void PurgeRemovedHooks();

  // The creation hook's two events.
  static void WidgetCreated(QWidget* Widget);
  static void WidgetDestroyed(QWidget* Widget);

  // The hook class registered for the widget's class or its nearest
  // registered base class; none when there is none.
  static TSysStyleHookClass FindHookClass(const QWidget* Widget);
  static TSysControlInfo MakeControlInfo(QWidget* Widget);
};

std::string GetWindowClassName(const QWidget* Widget);
// The first widget below Root (depth first, children in order) whose class
// name is exactly ClassName; none when there is none.
QWidget* FindWinFromRoot(QWidget* Root, std::string_view ClassName);
// R moved to the left edge of Bounds and centred vertically in it.
QRect CenterRectVertically(const QRect& R, const QRect& Bounds);

// The unit's start-up (defaults, empty tables, the creation hook) and
// clean-up (the hook removed, every live hook freed).
void SysControlsStartup();
void SysControlsCleanup();

}  // namespace velkor
