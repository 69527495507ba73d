#include "app/MainFormLink.h"
#include "toolkit/DesktopOpen.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

#include "AppTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace velkor {
namespace {

TEST(MainFormLinkTest, CallsReachOnlyTheInstalledWindow) {
  // Nothing installed: every call is a no-op.
  MainFormLink::ShowHelp("TaskConfig");
  EXPECT_EQ(MainFormLink::Window(), nullptr);
  EXPECT_FALSE(IsMainFormActive());

  auto first = std::make_unique<test::TRecordingLink>();
  MainFormLink::ShowHelp("TaskConfig");
  MainFormLink::UpdateMainTableC(nullptr, true);
  MainFormLink::ShowGridPage();
  EXPECT_EQ(first->Calls, (std::vector<std::string>{"help:TaskConfig", "row+focus:<none>", "grid"}));

  // A late removal of a replaced window must not unhook its successor.
  test::TRecordingLink second;
  first.reset();
  EXPECT_EQ(MainFormLink::Installed(), &second);
  MainFormLink::ShowHelp("");
  EXPECT_EQ(second.Calls, std::vector<std::string>{"help:"});
}

TEST(MainFormLinkTest, MainFormIsActiveOnlyWhileNoOtherWindowOfOursIsShown) {
  QWidget main;
  test::TRecordingLink link(&main);
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
}

TEST(DesktopOpenTest, ARecorderReplacesTheDesktopAndIsRemovedAgain) {
  std::vector<std::string> outer;
  TDesktopOpener previous = SetDesktopOpener([&](const std::string& p) {
    outer.push_back(p);
    return true;
  });
  {
    test::TRecordingOpener recorder(false);
    EXPECT_FALSE(DesktopOpen("/tmp/x.xlsx"));
    EXPECT_EQ(recorder.Opened, std::vector<std::string>{"/tmp/x.xlsx"});
  }
  EXPECT_TRUE(DesktopOpen("/tmp/y"));  // the recorder put the outer one back
  EXPECT_EQ(outer, std::vector<std::string>{"/tmp/y"});
  SetDesktopOpener(previous);
}

TEST(DesktopOpenTest, PathsBecomeAbsoluteFileUrlsAndUrlsStayAsTheyAre) {
  const std::string cwd = std::filesystem::current_path().string();
  const struct {
    std::string Path, Url;
  } cases[] = {
      {"/tmp/Kết quả.xlsx", "file:///tmp/K%E1%BA%BFt%20qu%E1%BA%A3.xlsx"},
      {"contest/Bai1", "file://" + cwd + "/contest/Bai1"},  // the opener runs elsewhere
      {"https://example.org/help#TaskConfig", "https://example.org/help#TaskConfig"},
      {"file:///tmp/a", "file:///tmp/a"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DesktopUrl(c.Path), c.Url) << c.Path;
}

TEST(WhenModalTest, ReachesADialogOpenedAfterwards) {
  QDialog dialog;
  QString seen;
  test::WhenModal([&](QWidget* d) {
    seen = d->windowTitle();
    static_cast<QDialog*>(d)->accept();
  });
  dialog.setWindowTitle("Hộp thoại");
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(seen, "Hộp thoại");
}

}  // namespace
}  // namespace velkor
