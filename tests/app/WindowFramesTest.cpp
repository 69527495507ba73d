// What a jury sees of our windows on a plain desktop: Qt's own texts in
// Vietnamese (message box buttons, the file and folder dialogs), where
// those dialogs start, the program's icon on every window, fixed dialogs
// without maximise buttons, and the help page in front of the dialog that
// asked for it.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>

#include "AppTestSupport.h"
#include "app/AboutU.h"
#include "app/CoreHooks.h"
#include "app/ExamEditU.h"
#include "app/MainImages.h"
#include "app/MainUnit.h"
#include "app/QtTexts.h"
#include "app/SecurityU.h"
#include "core/Dialogs.h"
#include "components/ImageLists.h"
#include "components/Panels.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "judging/Globals.h"
#include "tests/judging/ContestTree.h"
#include "toolkit/VisualStyles.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TContestTree;

// English texts Qt shows when it has no catalogue for the language.
const std::set<QString> kEnglish = {
    "OK", "Yes", "No", "Cancel", "Yes to All", "No to All", "Abort", "Retry", "Ignore", "Help", "Close", "All",
    "Look in:", "Directory:", "Choose", "Files of type:", "File name:", "Open", "Save", "Date Modified", "Name",
    "Size", "Type", "Kind", "Back", "Forward", "Parent Directory", "Create New Folder", "List View", "Detail View",
    "Sidebar", "All Files (*)", "Find Directory", "Save As", "Recent Places", "My Computer", "Computer", "Folder",
    "Drive"};

// Every text of Window a user can read: labels, buttons, tool tips and
// the headers of its lists.
std::vector<QString> ReadableTexts(QWidget* Window) {
  std::vector<QString> texts;
  auto add = [&](QString T) {
    T.remove('&');
    if (!T.trimmed().isEmpty()) texts.push_back(T.trimmed());
  };
  for (auto* label : Window->findChildren<QLabel*>()) add(label->text());
  for (auto* button : Window->findChildren<QAbstractButton*>()) {
    add(button->text());
    add(button->toolTip());
  }
  for (auto* view : Window->findChildren<QTreeView*>())
    if (QAbstractItemModel* model = view->model()) {
      for (int i = 0; i < model->columnCount(); ++i) add(model->headerData(i, Qt::Horizontal).toString());
      // The rows' kind ("Folder"), where the view shows them.
      const QModelIndex root = view->rootIndex();
      for (int r = 0; r < model->rowCount(root) && model->columnCount(root) > 2; ++r)
        add(model->index(r, 2, root).data().toString());
    }
  return texts;
}

std::string English(const std::vector<QString>& Texts) {
  std::string found;
  for (const QString& t : Texts)
    if (kEnglish.count(t)) found += " [" + t.toStdString() + "]";
  return found;
}

bool Has(const std::vector<QString>& Texts, const char* Text) {
  return std::find(Texts.begin(), Texts.end(), QString::fromUtf8(Text)) != Texts.end();
}

class WindowFrames : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::StartProgramModel("app_frames_test");
    ASSERT_TRUE(InstallQtTexts());
    InstallProgramIcon();
    InstallCoreHooks();
    MainFormLink::InstallHelpRoute();
  }
  static void TearDownTestSuite() {
    RemoveCoreHooks();
    FinalizeGlobals();
  }

  void SetUp() override {
    ContestInfo->Reset();
    ContestInfo->SetFileName("");
    EnvConfig->LastExamDir.clear();
    EnvConfig->LastContestantDir.clear();
    Form = std::make_unique<TMainForm>();
    Form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    Form->ContestChanged = false;
    Form.reset();
    ContestInfo->Reset();
    ContestInfo->SetFileName("");
  }

  TContestTree Tree;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(WindowFrames, MessageBoxButtonsAreVietnameseAndTheBoxHasNoMaximiseButton) {
  std::vector<QString> texts;
  Qt::WindowFlags flags;
  test::WhenModal([&](QWidget* Box) {
    texts = ReadableTexts(Box);
    flags = Box->windowFlags();
    EXPECT_EQ(Box->minimumSize(), Box->maximumSize()) << "a fixed size";
    EXPECT_FALSE(Box->windowIcon().isNull());
    test::SaveShot(Box, "message-box-all-buttons");
    static_cast<QDialog*>(Box)->reject();
  });
  TQtMessageDialog().Show({"Ghi đè file?", mtConfirmation,
                           {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll,
                            mbHelp, mbClose}});
  EXPECT_EQ(English(texts), "");
  for (const char* want : {"Có", "Không", "Hủy bỏ", "Có với tất cả", "Không với tất cả", "Tất cả", "Đồng ý"})
    EXPECT_TRUE(Has(texts, want)) << want;
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
}

TEST_F(WindowFrames, ContestFileDialogsAreVietnameseAndStartInTheArchivesFolder) {
  const std::string archive = Tree.Path("saved/Thi.contest");
  fs::create_directories(Tree.Path("saved"));
  ContestInfo->SetFileName(archive);
  QString start;
  std::vector<QString> texts;
  test::WhenModal([&](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_TRUE(dialog);
    start = dialog->directory().absolutePath();
    texts = ReadableTexts(dialog);
    test::SaveShot(dialog, "open-contest-dialog");
    dialog->reject();
  });
  Form->Action("actOpenContest")->trigger();
  EXPECT_EQ(start.toStdString(), Tree.Path("saved"));
  EXPECT_EQ(English(texts), "");
  for (const char* want : {"Tìm trong:", "Kiểu file:", "Tên file:", "Ngày sửa", "Tên", "Kích thước"})
    EXPECT_TRUE(Has(texts, want)) << want;
}

// Qt's file list writes sizes and dates in the environment's locale, which
// here is C; Velkor's own is Vietnamese, and the file dialogs follow it.
TEST_F(WindowFrames, FileDialogsWriteSizesDatesAndKindsInVietnamese) {
  const QLocale vietnamese(QLocale::Vietnamese, QLocale::Vietnam);
  EXPECT_EQ(QLocale().language(), QLocale::Vietnamese);
  const std::string archive = Tree.Path("saved/Thi.contest");
  fs::create_directories(Tree.Path("saved"));
  std::ofstream(archive) << std::string(123456, 'x');
  ContestInfo->SetFileName(archive);
  QString size, kind, date;
  test::WhenModal([&](QWidget* Dialog) {
    auto* dialog = qobject_cast<QFileDialog*>(Dialog);
    ASSERT_TRUE(dialog);
    dialog->setViewMode(QFileDialog::Detail);
    QTreeView* list = dialog->findChild<QTreeView*>("treeView");
    ASSERT_TRUE(list);
    EXPECT_TRUE(QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; }));
    const QModelIndex row = list->model()->index(0, 0, list->rootIndex());
    EXPECT_EQ(row.data().toString(), "Thi.contest");
    size = row.siblingAtColumn(1).data().toString();
    kind = row.siblingAtColumn(2).data().toString();
    date = row.siblingAtColumn(3).data().toString();
    test::SaveShot(dialog, "open-contest-dialog-details");
    dialog->reject();
  });
  Form->Action("actOpenContest")->trigger();
  EXPECT_EQ(size.toStdString(), vietnamese.formattedDataSize(123456).toStdString());
  EXPECT_TRUE(size.contains(',')) << size.toStdString();
  const QDateTime modified = QFileInfo(QString::fromStdString(archive)).lastModified();
  EXPECT_EQ(date.toStdString(), vietnamese.toString(modified, QLocale::ShortFormat).toStdString());
  EXPECT_NE(date.toStdString(), QLocale::c().toString(modified, QLocale::ShortFormat).toStdString());
  // The kind is the type's description in the application's language.
  const QMimeType type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(archive));
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  const QString english = type.comment();
  QLocale::setDefault(vietnamese);
  EXPECT_EQ(kind.toStdString(), type.comment().toStdString());
  EXPECT_NE(kind.toStdString(), english.toStdString());
}

TEST_F(WindowFrames, FolderPickersAreVietnameseAndStartInTheContestsFolders) {
  Tree.AddExam("BAI1", {"1"});
  Tree.AddContestant("AN");
  Form->SetExamsDir(Tree.TasksDir());
  Form->SetContestantsDir(Tree.ContestantsDir());
  EnvConfig->LastExamDir.clear();  // the current folders count, not only the last chosen
  EnvConfig->LastContestantDir.clear();
  struct Case {
    const char* Action;
    std::string Start;
  } cases[] = {{"actReloadExams", Tree.TasksDir()}, {"actReloadContestants", Tree.ContestantsDir()}};
  for (const Case& c : cases) {
    QString start;
    std::vector<QString> texts;
    test::WhenModal([&](QWidget* Dialog) {
      auto* dialog = qobject_cast<QFileDialog*>(Dialog);
      ASSERT_TRUE(dialog);
      start = dialog->directory().absolutePath();
      QTreeView* list = dialog->findChild<QTreeView*>("treeView");
      EXPECT_TRUE(list && QTest::qWaitFor([&] { return list->model()->rowCount(list->rootIndex()) > 0; }));
      texts = ReadableTexts(dialog);
      test::SaveShot(dialog, std::string("folder-dialog-") + c.Action);
      dialog->reject();
    });
    Form->Action(c.Action)->trigger();
    EXPECT_EQ(start.toStdString(), fs::path(c.Start).lexically_normal().string()) << c.Action;
    EXPECT_EQ(English(texts), "") << c.Action;
    EXPECT_TRUE(Has(texts, "Thư mục:")) << c.Action;
    EXPECT_TRUE(Has(texts, "Chọn")) << c.Action;
    EXPECT_TRUE(Has(texts, "Thư mục")) << c.Action << ": the kind of the folder listed";
  }
}

TEST_F(WindowFrames, WindowsCarryTheProgramsIconAndFixedDialogsNoMaximiseButton) {
  EXPECT_FALSE(Form->windowIcon().isNull());
  EXPECT_FALSE(Form->windowIcon().pixmap(32, 32).toImage().isNull());
  test::SaveShot(Form->windowIcon().pixmap(64, 64).toImage(), "program-icon");

  TSecurityForm security(Form.get());
  TExamEditForm exam(Form.get());
  for (QDialog* dialog : {static_cast<QDialog*>(&security), static_cast<QDialog*>(&exam)}) {
    dialog->show();
    QApplication::processEvents();
    EXPECT_FALSE(dialog->windowIcon().isNull()) << dialog->objectName().toStdString();
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint) << dialog->objectName().toStdString();
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint) << dialog->objectName().toStdString();
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowCloseButtonHint) << dialog->objectName().toStdString();
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize()) << dialog->objectName().toStdString();
    EXPECT_FALSE(dialog->isSizeGripEnabled());
    dialog->hide();
  }
}

TEST_F(WindowFrames, HelpAskedByAModalDialogOpensInFrontOfIt) {
  QPointer<QDialog> help;
  bool inFront = false;
  TSecurityForm security(Form.get());
  test::WhenModal([&](QWidget* Dialog) {
    ASSERT_EQ(Dialog, &security);
    security.btnHelp->click();
    QApplication::processEvents();
    help = Dialog->findChild<QDialog*>("HelpWindow");
    if (help) {
      inFront = help->isVisible() && help->isWindow() && help->parentWidget() == Dialog;
      auto* browser = help->findChild<QTextBrowser*>("HelpBrowser");
      EXPECT_TRUE(browser && browser->source().fragment() == "Security") << (browser ? browser->source().toString().toStdString() : "");
      test::SaveShot(help.data(), "help-window-over-dialog");
    }
    static_cast<QDialog*>(Dialog)->reject();
  });
  security.exec();
  ASSERT_TRUE(help);
  EXPECT_TRUE(inFront);
  EXPECT_FALSE(help->isVisible()) << "it goes with the dialog";
}

// The contrast ratio of two colours as the accessibility guidelines count
// it: 1 (the same) to 21 (black on white).
double Contrast(QColor A, QColor B) {
  auto luminance = [](QColor C) {
    auto lin = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * lin(C.redF()) + 0.7152 * lin(C.greenF()) + 0.0722 * lin(C.blueF());
  };
  const double a = luminance(A), b = luminance(B);
  return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

TEST_F(WindowFrames, DarkEdgedToolbarIconsStandOutInTheMidnightStyle) {
  TVQR_ImageList actions(48, 48), states(24, 24);
  LoadMainImages(actions, states);
  const QColor panel(0x1E, 0x22, 0x33);  // the Midnight style's window colour
  const struct {
    int Index;
    const char* What;
  } icons[] = {{3, "settings"}, {10, "exam settings"}, {20, "compilers"}, {21, "security"}};
  for (const auto& icon : icons) {
    const QImage picture = actions.Icon(icon.Index).pixmap(48, 48).toImage().convertToFormat(QImage::Format_ARGB32);
    QImage onPanel(picture.size(), QImage::Format_ARGB32);
    onPanel.fill(panel);
    QPainter(&onPanel).drawImage(0, 0, picture);
    // The outline: visible pixels next to a see-through one.
    int edge = 0, readable = 0;
    for (int y = 1; y < picture.height() - 1; ++y)
      for (int x = 1; x < picture.width() - 1; ++x) {
        if (qAlpha(picture.pixel(x, y)) < 128) continue;
        bool border = false;
        for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)})
          border = border || qAlpha(picture.pixel(QPoint(x, y) + d)) == 0;
        if (!border) continue;
        ++edge;
        readable += Contrast(onPanel.pixel(x, y), panel) >= 3;
      }
    ASSERT_GT(edge, 20) << icon.What;
    EXPECT_GE(readable * 10, edge * 9) << icon.What << ": " << readable << " of " << edge << " outline pixels";
  }
  ASSERT_TRUE(ApplyStyle("Midnight"));
  QApplication::processEvents();
  test::SaveShot(Form.get(), "main-window-midnight");
  ApplyStyle("Default");
}

}  // namespace
}  // namespace velkor
