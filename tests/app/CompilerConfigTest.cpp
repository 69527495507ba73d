// The compiler table dialog, driven by keys: rows loaded in order, cells
// normalised as they are edited, rows added, moved and deleted, and what OK
// and Cancel leave in the table and in Velkor.cfg.
#include "app/CompilerConfigU.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "components/Btns.h"
#include "core/Dialogs.h"
#include "judging/Compilers.h"
#include "judging/EnvConfig.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

TEST(CompilerCells, KeysGetTheirDotAndBothColumnsAreTrimmed) {
  struct Case {
    const char* Text;
    const char* Key;
    const char* Command;
  } cases[] = {
      {"pas", ".pas", "pas"},
      {"  .cpp ", ".cpp", ".cpp"},
      {"", ".", ""},
      {" \t g++ x \r\n", ".g++ x", "g++ x"},
      {".java", ".java", ".java"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormaliseCompilerKey(c.Text), c.Key) << '"' << c.Text << '"';
    EXPECT_EQ(NormaliseCompilerCommand(c.Text), c.Command) << '"' << c.Text << '"';
  }
}

class CompilerDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    CompilerConfig = std::make_unique<TCompilerConfig>();
    CompilerConfig->Clear();
    CompilerConfig->Add(new TCompilerNode(".cpp", "g++ %NAME%.cpp"));
    CompilerConfig->Add(new TCompilerNode(".java", "javac -J-Dx=1 %NAME%.java"));
    CompilerConfig->Add(new TCompilerNode(".py", "python3 -m py_compile %NAME%.py"));
    EnvConfig = std::make_unique<TEnvConfig>();
    fs::remove_all(ConfigFileName());
    previous = SetMessageDialog(messages);
  }
  void TearDown() override {
    SetMessageDialog(previous);
    fs::remove_all(ConfigFileName());
    EnvConfig.reset();
    CompilerConfig.reset();
  }
  static std::vector<std::string> Table() {
    std::vector<std::string> rows;
    for (int i = 0; i < CompilerConfig->Count(); ++i)
      rows.push_back(CompilerConfig->Items(i)->ext + "=" + CompilerConfig->Items(i)->cmd);
    return rows;
  }
  static std::vector<std::string> Stored() {
    CompilerConfig->Clear();
    LoadConfiguration();
    return Table();
  }
  static void Key(TformCplCfg* Form, Qt::Key K, Qt::KeyboardModifiers M = Qt::NoModifier) {
    QTest::keyClick(Form->listExtCmd, K, M);
  }
  // Opens the cell's editor.
  static QLineEdit* Edit(TformCplCfg* Form, int Row, int Column) {
    Form->listExtCmd->editItem(Form->listExtCmd->item(Row, Column));
    // Closed editors linger until deleted; the one just opened is the newest.
    const QList<QLineEdit*> editors = Form->listExtCmd->viewport()->findChildren<QLineEdit*>();
    return editors.isEmpty() ? nullptr : editors.last();
  }
  // Types Text into the current cell and commits it with Enter.
  static void Type(TformCplCfg* Form, int Row, int Column, const QString& Text) {
    Form->listExtCmd->setCurrentCell(Row, Column);
    QLineEdit* editor = Edit(Form, Row, Column);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, Text);
    QTest::keyClick(editor, Qt::Key_Return);
  }

  std::shared_ptr<TScriptedMessageDialog> messages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> previous;
};

TEST_F(CompilerDialog, EditsMovesAndSavesTheTable) {
  test::TRecordingLink link;
  MainFormLink::InstallHelpRoute();
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TformCplCfg*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Cấu hình bộ dịch");
    EXPECT_EQ(form->listExtCmd->rowCount(), 3);
    test::SaveShot(form, "compiler-dialog");

    form->btnHelp->click();
    // Ctrl+U on the first row and Ctrl+D on the last do nothing.
    form->listExtCmd->setCurrentCell(0, 0);
    Key(form, Qt::Key_U, Qt::ControlModifier);
    form->listExtCmd->setCurrentCell(2, 0);
    Key(form, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->item(0, 0)->text(), ".cpp");
    EXPECT_EQ(form->listExtCmd->item(2, 0)->text(), ".py");
    // Ctrl+U moves a row up and Ctrl+D down, key and command together, and
    // the current row follows it.
    form->listExtCmd->setCurrentCell(2, 1);
    Key(form, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->currentRow(), 1);
    EXPECT_EQ(form->listExtCmd->currentColumn(), 1);
    EXPECT_EQ(form->listExtCmd->item(1, 0)->text(), ".py");
    EXPECT_EQ(form->listExtCmd->item(1, 1)->text(), "python3 -m py_compile %NAME%.py");
    Key(form, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->currentRow(), 2);
    EXPECT_EQ(form->listExtCmd->item(2, 0)->text(), ".py");
    form->listExtCmd->setCurrentCell(0, 0);
    Key(form, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->currentRow(), 1);
    // Down on the last row appends; an appended row left empty is no line.
    form->listExtCmd->setCurrentCell(2, 1);
    Key(form, Qt::Key_Down);
    ASSERT_EQ(form->listExtCmd->rowCount(), 4);
    Type(form, 3, 0, "  pas ");
    Type(form, 3, 1, "  fpc %NAME%.pas  ");
    Key(form, Qt::Key_Down);
    EXPECT_EQ(form->listExtCmd->rowCount(), 5);
    // Insert above the python row, then delete it with Ctrl+Delete.
    form->listExtCmd->setCurrentCell(2, 0);
    Key(form, Qt::Key_Insert);
    EXPECT_EQ(form->listExtCmd->rowCount(), 6);
    Key(form, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->rowCount(), 5);
    // An edit still open when OK is clicked counts.
    form->listExtCmd->setCurrentCell(2, 1);
    QLineEdit* editor = Edit(form, 2, 1);
    ASSERT_NE(editor, nullptr);
    editor->end(false);
    QTest::keyClicks(editor, " -O");
    form->btnOK->click();
  });
  EditCompilerConfig();
  const std::vector<std::string> expected{".java=javac -J-Dx=1 %NAME%.java", ".cpp=g++ %NAME%.cpp",
                                          ".py=python3 -m py_compile %NAME%.py -O", ".pas=fpc %NAME%.pas"};
  EXPECT_EQ(Table(), expected);
  EXPECT_EQ(Stored(), expected);
  EXPECT_EQ(link.Calls, std::vector<std::string>{"help:CompilerConfig"});
}

TEST_F(CompilerDialog, TableKeysWorkWhileACellIsBeingEdited) {
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TformCplCfg*>(Dialog);
    ASSERT_NE(form, nullptr);
    // Ctrl+U in the command being edited moves its row, the edit kept.
    form->listExtCmd->setCurrentCell(2, 1);
    QLineEdit* editor = Edit(form, 2, 1);
    ASSERT_NE(editor, nullptr);
    editor->end(false);
    QTest::keyClicks(editor, " -O");
    QTest::keyClick(editor, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->currentRow(), 1);
    EXPECT_EQ(form->listExtCmd->item(1, 0)->text(), ".py");
    EXPECT_EQ(form->listExtCmd->item(1, 1)->text(), "python3 -m py_compile %NAME%.py -O");
    EXPECT_EQ(form->listExtCmd->item(2, 1)->text(), "javac -J-Dx=1 %NAME%.java");
    // Ctrl+D in a key being edited moves its row down, the key normalised.
    form->listExtCmd->setCurrentCell(0, 0);
    editor = Edit(form, 0, 0);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, " cc ");
    QTest::keyClick(editor, Qt::Key_D, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->currentRow(), 1);
    EXPECT_EQ(form->listExtCmd->item(1, 0)->text(), ".cc");
    EXPECT_EQ(form->listExtCmd->item(1, 1)->text(), "g++ %NAME%.cpp");
    // Insert adds a row above, Ctrl+Delete removes the row being edited.
    form->listExtCmd->setCurrentCell(2, 1);
    editor = Edit(form, 2, 1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Insert);
    EXPECT_EQ(form->listExtCmd->rowCount(), 4);
    EXPECT_EQ(form->listExtCmd->currentRow(), 2);
    EXPECT_EQ(form->listExtCmd->item(3, 0)->text(), ".java");
    form->listExtCmd->setCurrentCell(3, 1);
    editor = Edit(form, 3, 1);
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->rowCount(), 3);
    form->btnOK->click();
  });
  EditCompilerConfig();
  const std::vector<std::string> expected{".py=python3 -m py_compile %NAME%.py -O", ".cc=g++ %NAME%.cpp"};
  EXPECT_EQ(Table(), expected);
}

TEST_F(CompilerDialog, EnterInAnEditedCellEndsTheEditOnly) {
  const QString longCommand = "g++ -std=c++20 -O2 -Wall -Wextra -static -o /very/long/output/folder/%NAME%.exe %NAME%.cpp";
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TformCplCfg*>(Dialog);
    ASSERT_NE(form, nullptr);
    form->listExtCmd->setCurrentCell(2, 1);
    Key(form, Qt::Key_Down);
    ASSERT_EQ(form->listExtCmd->rowCount(), 4);
    for (const Qt::Key enter : {Qt::Key_Return, Qt::Key_Enter}) {
      const int row = form->listExtCmd->rowCount() - 1;
      Type(form, row, 0, enter == Qt::Key_Return ? " pas" : "c ");
      // Typed with its own Enter; the second Enter goes to the table.
      EXPECT_TRUE(form->isVisible()) << "Enter closed the dialog";
      Type(form, row, 1, enter == Qt::Key_Return ? longCommand : "gcc %NAME%.c");
      EXPECT_TRUE(form->isVisible()) << "Enter closed the dialog";
      for (QLineEdit* editor : form->listExtCmd->viewport()->findChildren<QLineEdit*>())
        EXPECT_FALSE(editor->isVisible()) << "the editor stays open";
      // The table has the keys again: Down on the last row adds the next.
      Key(form, Qt::Key_Down);
      EXPECT_EQ(form->listExtCmd->rowCount(), row + 2);
    }
    // A command is drawn on one line, ended by "..." when too long.
    EXPECT_FALSE(form->listExtCmd->wordWrap());
    test::SaveShot(form, "compiler-dialog-long-command");
    // Enter outside an edit is the dialog's: OK.
    QTest::keyClick(form->listExtCmd, Qt::Key_Return);
    EXPECT_FALSE(form->isVisible());
  });
  EditCompilerConfig();
  const std::vector<std::string> expected{".cpp=g++ %NAME%.cpp", ".java=javac -J-Dx=1 %NAME%.java",
                                          ".py=python3 -m py_compile %NAME%.py", ".pas=" + longCommand.toStdString(),
                                          ".c=gcc %NAME%.c"};
  EXPECT_EQ(Table(), expected);
  EXPECT_EQ(Stored(), expected);
}

TEST_F(CompilerDialog, CancelChangesNothingAndAnEmptyTableSaves) {
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TformCplCfg*>(Dialog);
    form->listExtCmd->setCurrentCell(0, 0);
    Key(form, Qt::Key_Delete, Qt::ControlModifier);
    QTest::keyClick(form, Qt::Key_Escape);
  });
  EditCompilerConfig();
  EXPECT_EQ(Table().size(), 3u);
  EXPECT_FALSE(fs::exists(ConfigFileName()));

  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TformCplCfg*>(Dialog);
    form->listExtCmd->setCurrentCell(0, 0);
    for (int i = 0; i < 3; ++i) Key(form, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->listExtCmd->rowCount(), 0);
    Key(form, Qt::Key_Down);  // an empty table gets a first row, left empty
    form->btnOK->click();
  });
  EditCompilerConfig();
  EXPECT_TRUE(Table().empty());
  EXPECT_TRUE(fs::exists(ConfigFileName()));
  EXPECT_TRUE(Stored().empty());
}

}  // namespace
}  // namespace velkor
