#include "app/MainFormLink.h"
#include "toolkit/DesktopOpen.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkor {
namespace {

class RecordingLink : public IMainFormLink {
 public:
  explicit RecordingLink(QWidget* w) : FWindow(w) {}
  QWidget* Window() override { return FWindow; }
  void ShowHelp(const std::string& Topic) override { Calls.push_back("help:" + Topic); }
  void UpdateMainTableC(TResultC*, bool Focus) override { Calls.push_back(Focus ? "row+focus" : "row"); }
  void ShowGridPage() override { Calls.push_back("grid"); }
  std::vector<std::string> Calls;

 private:
  QWidget* FWindow;
};

TEST(MainFormLinkTest, CallsReachOnlyTheInstalledWindow) {
  // Nothing installed: every call is a no-op.
  MainFormLink::ShowHelp("TaskConfig");
  EXPECT_EQ(MainFormLink::Window(), nullptr);
  EXPECT_FALSE(IsMainFormActive());

  RecordingLink first(nullptr), second(nullptr);
  MainFormLink::Install(&first);
  MainFormLink::ShowHelp("TaskConfig");
  MainFormLink::UpdateMainTableC(nullptr, true);
  MainFormLink::ShowGridPage();
  EXPECT_EQ(first.Calls, (std::vector<std::string>{"help:TaskConfig", "row+focus", "grid"}));

  // A late removal of a replaced window must not unhook its successor.
  MainFormLink::Install(&second);
  MainFormLink::Remove(&first);
  EXPECT_EQ(MainFormLink::Installed(), &second);
  MainFormLink::Remove(&second);
  EXPECT_EQ(MainFormLink::Installed(), nullptr);
}

TEST(MainFormLinkTest, MainFormIsActiveOnlyWhileNoOtherWindowOfOursIsShown) {
  QWidget main;
  RecordingLink link(&main);
  MainFormLink::Install(&link);
  EXPECT_FALSE(IsMainFormActive()) << "a hidden main window is never active";

  main.show();
  EXPECT_TRUE(IsMainFormActive());

  QMenu menu;  // popups do not count
  menu.addAction("x");
  menu.popup(main.mapToGlobal(QPoint(5, 5)));
  menu.hide();
  EXPECT_TRUE(IsMainFormActive());

  QDialog dialog(&main);
  dialog.show();
  EXPECT_FALSE(IsMainFormActive());
  dialog.hide();
  EXPECT_TRUE(IsMainFormActive());
  MainFormLink::Remove(&link);
}

TEST(DesktopOpenTest, ARecorderReplacesTheDesktopAndIsRemovedAgain) {
  std::vector<std::string> opened;
  TDesktopOpener previous = SetDesktopOpener([&](const std::string& p) {
    opened.push_back(p);
    return p != "/missing";
  });
  EXPECT_TRUE(DesktopOpen("/tmp/x.xlsx"));
  EXPECT_FALSE(DesktopOpen("/missing"));
  EXPECT_EQ(opened, (std::vector<std::string>{"/tmp/x.xlsx", "/missing"}));
  SetDesktopOpener(previous);
  EXPECT_EQ(opened.size(), 2u);
}

}  // namespace
}  // namespace velkor
