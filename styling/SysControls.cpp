#include "styling/SysControls.h"

#include <QApplication>
#include <QEvent>

#include <set>
#include <vector>

#include "core/NameCompare.h"
#include "toolkit/VisualStyles.h"

namespace velkor {

namespace {

std::string AsciiLower(std::string_view S) {
  std::string result(S);
  for (char& ch : result)
    if (ch >= 'A' && ch <= 'Z') ch = char(ch - 'A' + 'a');
  return result;
}

class TCreationHook : public QObject {
 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::Polish && Watched->isWidgetType())
      TSysStyleManager::WidgetCreated(static_cast<QWidget*>(Watched));
    return false;
  }
};

struct TManagerState {
  std::map<std::string, TSysStyleHookClass> RegisteredHooks;
  std::map<QWidget*, std::unique_ptr<TSysStyleHook>> LiveHooks;
  std::map<QWidget*, TChildControlInfo> ChildControls;
  std::unique_ptr<TCreationHook> CreationHook;
  // Receives the destroyed() signals; the widgets it already watches.
  std::unique_ptr<QObject> Watcher;
  std::set<QWidget*> Watched;
};

TManagerState& State() {
  static TManagerState state;
  return state;
}

// Frees the widget's hook and forgets its records as soon as it goes.
void WatchDestruction(QWidget* Widget) {
  TManagerState& state = State();
  if (!state.Watcher) state.Watcher = std::make_unique<QObject>();
  if (!state.Watched.insert(Widget).second) return;
  QObject::connect(Widget, &QObject::destroyed, state.Watcher.get(),
                   [Widget] { TSysStyleManager::WidgetDestroyed(Widget); });
}

bool IsHooked(QWidget* Widget) { return State().LiveHooks.count(Widget) != 0; }

}  // namespace

std::map<std::string, TSysStyleHookClass>& TSysStyleManager::RegisteredHooks() { return State().RegisteredHooks; }
std::map<QWidget*, std::unique_ptr<TSysStyleHook>>& TSysStyleManager::LiveHooks() { return State().LiveHooks; }
std::map<QWidget*, TChildControlInfo>& TSysStyleManager::ChildControls() { return State().ChildControls; }

void TSysStyleManager::RegisterSysStyleHook(std::string_view SysControlClass, TSysStyleHookClass SysStyleHookClass) {
  RegisteredHooks().insert_or_assign(AsciiLower(SysControlClass), SysStyleHookClass);
}

void TSysStyleManager::UnRegisterSysStyleHook(std::string_view SysControlClass, TSysStyleHookClass) {
  RegisteredHooks().erase(AsciiLower(SysControlClass));
}

void TSysStyleManager::InstallHook() {
  TManagerState& state = State();
  if (state.CreationHook || !QCoreApplication::instance()) return;
  state.CreationHook = std::make_unique<TCreationHook>();
  QCoreApplication::instance()->installEventFilter(state.CreationHook.get());
}

void TSysStyleManager::UninstallHook() {
  TManagerState& state = State();
  if (!state.CreationHook) return;
  if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(state.CreationHook.get());
  state.CreationHook.reset();
}

TSysStyleHookClass TSysStyleManager::FindHookClass(const QWidget* Widget) {
  if (!Widget) return nullptr;
  const auto& registered = RegisteredHooks();
  for (const QMetaObject* meta = Widget->metaObject(); meta; meta = meta->superClass()) {
    const auto it = registered.find(AsciiLower(meta->className()));
    if (it != registered.end()) return it->second;
  }
  return nullptr;
}

TSysControlInfo TSysStyleManager::MakeControlInfo(QWidget* Widget) {
  TSysControlInfo info;
  info.Handle = Widget;
  info.Parent = Widget ? Widget->parentWidget() : nullptr;
  info.Style = Widget ? Widget->windowFlags() : Qt::WindowFlags();
  info.ClassName = AsciiLower(GetWindowClassName(Widget));
  if (info.Parent) {
    info.ParentStyle = info.Parent->windowFlags();
    info.ParentClassName = AsciiLower(GetWindowClassName(info.Parent));
  }
  return info;
}

void TSysStyleManager::HookControl(QWidget* Widget, const TSysControlInfo& Info) {
  PurgeRemovedHooks();
  const TSysStyleHookClass hookClass = FindHookClass(Widget);
  if (!Widget || !hookClass) return;
  auto& live = LiveHooks();
  // The old hook goes first, so that the new one finds the widget as it was.
  live.erase(Widget);
  std::unique_ptr<TSysStyleHook> hook = hookClass(Widget);
  TSysStyleHook* created = hook.get();
  live[Widget] = std::move(hook);
  WatchDestruction(Widget);
  created->MarkHookedDirectly();
  if (OnHookNotification) OnHookNotification(0, Info);
}

void TSysStyleManager::RecordChildControl(QWidget* Widget, const TSysControlInfo& Info) {
  if (!Widget) return;
  ChildControls().insert_or_assign(Widget, TChildControlInfo{Info.Parent, Info.ParentStyle, FindHookClass(Widget)});
  WatchDestruction(Widget);
  if (OnHookNotification) OnHookNotification(0, Info);
}

void TSysStyleManager::HookRecordedChildren(QWidget* Parent) {
  if (!Parent) return;
  std::vector<std::pair<QWidget*, TSysStyleHookClass>> waiting;
  for (const auto& [child, info] : ChildControls())
    if (info.Parent == Parent && info.StyleHookClass && !IsHooked(child)) waiting.emplace_back(child, info.StyleHookClass);
  for (const auto& [child, hookClass] : waiting) {
    // Hooked, the child no longer waits.
    ChildControls().erase(child);
    LiveHooks()[child] = hookClass(child);
    child->update();
  }
}

void TSysStyleManager::PurgeRemovedHooks() {
  std::erase_if(LiveHooks(), [](const auto& entry) { return entry.second->MustRemove(); });
}

void TSysStyleManager::WidgetCreated(QWidget* Widget) {
  if (!HookingEnabled || !Widget || StyleServices().IsSystemStyle()) return;
  if (!FindHookClass(Widget)) return;
  const TSysControlInfo info = MakeControlInfo(Widget);
  if (!HookToolkitControls && IsToolkitControl(Widget)) return;
  if (OnBeforeHooking && !OnBeforeHooking(info)) return;
  if (Widget->isWindow()) {
    HookControl(Widget, info);
    return;
  }
  QWidget* parent = Widget->parentWidget();
  if (!parent || !IsHooked(parent) || IsToolkitControl(parent))
    HookControl(Widget, info);
  else
    RecordChildControl(Widget, info);
}

void TSysStyleManager::WidgetDestroyed(QWidget* Widget) {
  TManagerState& state = State();
  state.Watched.erase(Widget);
  const auto hook = state.LiveHooks.find(Widget);
  if (hook != state.LiveHooks.end()) {
    if (OnHookNotification) {
      TSysControlInfo info;
      info.Handle = Widget;
      OnHookNotification(1, info);
    }
    hook->second->WidgetDestroyed();
    state.LiveHooks.erase(hook);
  }
  state.ChildControls.erase(Widget);
  std::erase_if(state.ChildControls, [Widget](const auto& entry) { return entry.second.Parent == Widget; });
}

bool TSysStyleManager::BeforeHookingControl(const TSysControlInfo& Info) {
  QWidget* root = Info.Parent ? Info.Parent->window() : nullptr;
  if (!root) return true;
  // Windows whose content another engine draws, and tool bars inside a
  // rebar, keep their own look.
  if (FindWinFromRoot(root, "DirectUIHWND")) return false;
  if (SameText(Info.ClassName, "ToolBarWindow32") && FindWinFromRoot(root, "ReBarWindow32"))
    return false;
  return true;
}

void TSysStyleManager::HookNotification(int, const TSysControlInfo&) {}

std::string GetWindowClassName(const QWidget* Widget) {
  return Widget ? std::string(Widget->metaObject()->className()) : std::string();
}

QWidget* FindWinFromRoot(QWidget* Root, std::string_view ClassName) {
  if (!Root) return nullptr;
  for (QObject* object : Root->children()) {
    if (!object->isWidgetType()) continue;
    auto* child = static_cast<QWidget*>(object);
    if (GetWindowClassName(child) == ClassName) return child;
    if (QWidget* found = FindWinFromRoot(child, ClassName)) return found;
  }
  return nullptr;
}

QRect CenterRectVertically(const QRect& R, const QRect& Bounds) {
  return QRect(Bounds.left(), Bounds.top() + (Bounds.height() - R.height()) / 2, R.width(), R.height());
}

void SysControlsStartup() {
  TSysStyleManager::OnBeforeHooking = &TSysStyleManager::BeforeHookingControl;
  TSysStyleManager::OnHookNotification = &TSysStyleManager::HookNotification;
  TSysStyleManager::ReflectCtlColor = true;
  TSysStyleManager::HookingEnabled = true;
  TSysStyleManager::HookToolkitControls = false;
  TManagerState& state = State();
  state.RegisteredHooks.clear();
  state.LiveHooks.clear();
  state.ChildControls.clear();
  TSysStyleManager::InstallHook();
}

void SysControlsCleanup() {
  TSysStyleManager::UninstallHook();
  TManagerState& state = State();
  state.RegisteredHooks.clear();
  state.LiveHooks.clear();  // every hook gives its widget back
  state.ChildControls.clear();
  state.Watched.clear();
  state.Watcher.reset();  // and with it every destroyed() connection
}

}  // namespace velkor
