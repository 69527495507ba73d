#include "app/MainFormLink.h"
#include "toolkit/DesktopOpen.h"

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QWidget>
#include <gtest/gtest.h>

#include "AppTestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// The desktop's own opener, replaced by scripts on PATH: its exit code is
// what DesktopOpen reports, never just that it could be started.
TEST(DesktopOpenTest, TheOpenersExitDecides) {
  namespace fs = std::filesystem;
  const fs::path bin = fs::temp_directory_path() / ("velkor-opener-" + std::to_string(::getpid()));
  fs::create_directories(bin);
  const fs::path log = bin / "opened.txt";
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  ::setenv("PATH", (bin.string() + ":" + oldPath).c_str(), 1);
  auto opener = [&](const std::string& Body) {
    const fs::path script = bin / "xdg-open";
    std::ofstream(script) << "#!/bin/sh\n" << Body << "\n";
    fs::permissions(script, fs::perms::owner_all);
  };
  const int oldWait = SetDesktopOpenWait(300);
  const struct {
    std::string Body;
    bool Opened;
    std::string Error;
  } cases[] = {
      {"printf '%s' \"$1\" > '" + log.string() + "'; exit 0", true, ""},
      {"exit 3", false, "máy không có chương trình nào mở được loại file này (xdg-open trả về mã 3)"},
      {"exit 4", false, "chương trình mở file báo lỗi (xdg-open trả về mã 4)"},
      {"kill -KILL $$", false, "xdg-open bị dừng đột ngột"},
      // An opener that stays while its application runs has started it.
      {"exec sleep 3", true, ""},
  };
  for (const auto& c : cases) {
    opener(c.Body);
    EXPECT_EQ(DesktopOpen("/tmp/Kết quả.xlsx"), c.Opened) << c.Body;
    EXPECT_EQ(DesktopOpenError(), c.Error) << c.Body;
  }
  std::ifstream in(log);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "/tmp/Kết quả.xlsx") << "a file is passed as a path";

  fs::remove(bin / "xdg-open");
  ::setenv("PATH", bin.string().c_str(), 1);
  EXPECT_FALSE(DesktopOpen("/tmp/x.xlsx"));
  EXPECT_EQ(DesktopOpenError(), "không tìm thấy chương trình xdg-open (gói xdg-utils)");

  ::setenv("PATH", oldPath.c_str(), 1);
  SetDesktopOpenWait(oldWait);
  fs::remove_all(bin);
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
