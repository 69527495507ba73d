// The main window driven for real: the grid's texts and colours, the mouse,
// keys and drops on it, the enabling rule, the contest commands and the
// toolbar fitting, on small contests built in a temporary folder.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/MainUnit.h"
#include "components/Btns.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "judging/Contests.h"
#include "judging/EnvConfig.h"
#include "tests/judging/ContestTree.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using testing::TContestTree;

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ContestInfo = std::make_unique<TContestInfo>();
    CompilerConfig = std::make_unique<TCompilerConfig>();
    EnvConfig = std::make_unique<TEnvConfig>();
    FPreviousDialog = SetMessageDialog(FMessages);
    Form = std::make_unique<TMainForm>();
    Form->showNormal();
    Form->resize(1000, 600);
    QApplication::processEvents();
  }
  void TearDown() override {
    Form.reset();
    SetMessageDialog(FPreviousDialog);
    EnvConfig.reset();
    CompilerConfig.reset();
    ContestInfo.reset();
  }

  QString Cell(int Row, int Column) const {
    return Form->MainListModel->data(Form->MainListModel->index(Row, Column), Qt::DisplayRole).toString();
  }
  QString Header(int Column) const {
    return Form->MainListModel->headerData(Column, Qt::Horizontal, Qt::DisplayRole).toString();
  }

  std::shared_ptr<TScriptedMessageDialog> FMessages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> FPreviousDialog;
  std::unique_ptr<TMainForm> Form;
};

TEST_F(MainWindow, EmptyContestShowsTwoColumnsAndThePlainCaption) {
  EXPECT_EQ(MainForm, Form.get());
  EXPECT_EQ(MainFormLink::Window(), Form.get());
  EXPECT_EQ(Form->MainListModel->columnCount(), 2);
  EXPECT_EQ(Header(0), QString::fromUtf8("Thí sinh"));
  EXPECT_EQ(Header(1), QString::fromUtf8("Tổng điểm"));
  EXPECT_EQ(Form->windowTitle(), QString::fromUtf8("Βέλκο - Chương trình chấm bài tự động"));
  EXPECT_EQ(Form->windowTitle().size(), 37);
  test::SaveShot(Form.get(), "main-empty");
}

}  // namespace
}  // namespace velkor
