#include "app/CompilerConfigU.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QAbstractItemView>
#include <QHelpEvent>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QVBoxLayout>

#include "app/FormParts.h"
#include "app/MainFormLink.h"
#include "app/SettingsU.h"
#include "components/Btns.h"
#include "components/Labels.h"
#include "components/Panels.h"
#include "core/Dialogs.h"
#include "judging/Compilers.h"
#include "judging/EnvConfig.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 512;
constexpr int kClientHeight = 316;
constexpr int kKeyColumn = 0;
constexpr int kCommandColumn = 1;
constexpr const char* kHelpTopic = "CompilerConfig";
constexpr const char* kKeyHelp =
    "■ Thêm: Bấm ↓ tại mục cuối\r\n■ Chèn: Insert; Xóa: CTRL + Delete\r\n■ Chuyển lên: CTRL + U; Chuyển xuống: CTRL + D";

bool IsBlankOrControl(unsigned char c) { return c <= ' ' || c == 0x7F; }

std::string Trim(const std::string& S) {
  std::size_t b = 0, e = S.size();
  while (b < e && IsBlankOrControl(static_cast<unsigned char>(S[b]))) ++b;
  while (e > b && IsBlankOrControl(static_cast<unsigned char>(S[e - 1]))) --e;
  return S.substr(b, e - b);
}

QString CellText(const QTableWidget* Table, int Row, int Column) {
  const QTableWidgetItem* item = Table->item(Row, Column);
  return item ? item->text() : QString();
}

// Normalises a cell when its editor opens and when the edit is committed.
class TCellDelegate : public QStyledItemDelegate {
 public:
  explicit TCellDelegate(TformCplCfg* Form) : QStyledItemDelegate(Form), FForm(Form) {}

  QWidget* createEditor(QWidget* Parent, const QStyleOptionViewItem& Option,
                        const QModelIndex& Index) const override {
    FForm->NormaliseCell(Index.row(), Index.column());
    QWidget* editor = QStyledItemDelegate::createEditor(Parent, Option, Index);
    // The table's own keys work while a cell is being edited.
    if (editor) editor->installEventFilter(FForm);
    return editor;
  }
  // Enter ends the edit and goes no further: the base class lets the
  // editor pass it on, and the dialog took it for its default button and
  // closed in the middle of an edit.
  bool eventFilter(QObject* Object, QEvent* Event) override {
    if (Event->type() == QEvent::KeyPress) {
      const auto* key = static_cast<QKeyEvent*>(Event);
      if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
          (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* editor = qobject_cast<QWidget*>(Object)) {
          emit commitData(editor);
          emit closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
        return true;
      }
    }
    return QStyledItemDelegate::eventFilter(Object, Event);
  }
  // The hint of a cell is its whole text, which a long command elides.
  bool helpEvent(QHelpEvent* Event, QAbstractItemView* View, const QStyleOptionViewItem& Option,
                 const QModelIndex& Index) override {
    if (Event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(Event, View, Option, Index);
    const QString text = Index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(Event->globalPos(), text, View->viewport(), Option.rect);
    return true;
  }
  void setModelData(QWidget* Editor, QAbstractItemModel* Model, const QModelIndex& Index) const override {
    QStyledItemDelegate::setModelData(Editor, Model, Index);
    FForm->NormaliseCell(Index.row(), Index.column());
  }

 private:
  TformCplCfg* FForm;
};

}  // namespace

std::string NormaliseCompilerKey(const std::string& Key) {
  std::string k = Trim(Key);
  if (k.empty() || k[0] != '.') k = "." + k;
  return k;
}

std::string NormaliseCompilerCommand(const std::string& Command) { return Trim(Command); }

void EditCompilerConfig() {
  TformCplCfg form(MainFormLink::Window());
  form.DataLoad();
  if (form.exec() != mrOk) return;
  form.DataSave();
  SaveConfigurationReporting();
}

TformCplCfg::TformCplCfg(QWidget* Parent) : TForm(Parent) {
  setObjectName("formCplCfg");
  setWindowTitle(QString::fromUtf8("Cấu hình bộ dịch"));
  SetHelpKeyword(this, kHelpTopic);
  resize(kClientWidth, kClientHeight);

  auto* panel = new TVQR_Panel(this);
  listExtCmd = new QTableWidget(0, 2, panel);
  listExtCmd->setHorizontalHeaderLabels({QString::fromUtf8("Loại file"), QString::fromUtf8("Lệnh dịch")});
  listExtCmd->verticalHeader()->hide();
  listExtCmd->horizontalHeader()->setStretchLastSection(true);
  listExtCmd->setSelectionMode(QAbstractItemView::SingleSelection);
  listExtCmd->setItemDelegate(new TCellDelegate(this));
  listExtCmd->installEventFilter(this);
  listExtCmd->setColumnWidth(kKeyColumn, (kClientWidth - 16) / 8);
  // A command is one line: wrapped inside a row it broke in the middle of a
  // path or an option. A long one ends in "..." and shows whole in its hint.
  listExtCmd->setWordWrap(false);
  listExtCmd->setTextElideMode(Qt::ElideRight);
  SmartLab1 = new TSmartLab(panel);
  SmartLab1->SetAutoSize(false);
  // The label shows the key help with its line breaks; CR LF reads as one.
  SmartLab1->SetCaption(QString::fromUtf8(kKeyHelp).replace("\r\n", "\n").toStdString());
  auto* panelBox = new QVBoxLayout(panel);
  panelBox->setContentsMargins(8, 8, 8, 8);
  panelBox->addWidget(listExtCmd, 1);
  panelBox->addWidget(SmartLab1);

  btnHelp = NewHelpButton(kHelpTopic, this);
  btnOK = NewOkButton(this);
  btnCancel = NewCancelButton(this);
  QHBoxLayout* buttons = NewButtonRow(btnHelp, {btnOK, btnCancel});
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(8, 8, 8, 8);
  box->addWidget(panel, 1);
  box->addLayout(buttons);
}

void TformCplCfg::done(int Result) {
  // Enter does not leave the cell being edited: that edit counts.
  if (Result == mrOk) CommitEdit();
  TForm::done(Result);
}

void TformCplCfg::CommitEdit() {
  // Moving the current cell away and back commits an open editor into its
  // own cell and closes it; without one it changes nothing.
  const QModelIndex current = listExtCmd->currentIndex();
  listExtCmd->setCurrentIndex(QModelIndex());
  listExtCmd->setCurrentIndex(current);
}

void TformCplCfg::DataLoad() {
  listExtCmd->setRowCount(0);
  for (int i = 0; i < CompilerConfig->Count(); ++i) {
    const TCompilerNode* node = CompilerConfig->Items(i);
    const int row = listExtCmd->rowCount();
    listExtCmd->insertRow(row);
    listExtCmd->setItem(row, kKeyColumn, new QTableWidgetItem(QString::fromStdString(node->ext)));
    listExtCmd->setItem(row, kCommandColumn, new QTableWidgetItem(QString::fromStdString(node->cmd)));
  }
  if (listExtCmd->rowCount() > 0) listExtCmd->setCurrentCell(0, kKeyColumn);
}

void TformCplCfg::DataSave() {
  CompilerConfig->Clear();
  for (int row = 0; row < listExtCmd->rowCount(); ++row) {
    const std::string key = CellText(listExtCmd, row, kKeyColumn).toStdString();
    const std::string command = CellText(listExtCmd, row, kCommandColumn).toStdString();
    // A row appended and left empty is no line of the table.
    if (key.empty() && command.empty()) continue;
    CompilerConfig->Add(new TCompilerNode(key, command));
  }
}

void TformCplCfg::NormaliseCell(int Row, int Column) {
  if (Row < 0 || Row >= listExtCmd->rowCount()) return;
  const std::string text = CellText(listExtCmd, Row, Column).toStdString();
  const std::string normal = Column == kKeyColumn ? NormaliseCompilerKey(text) : NormaliseCompilerCommand(text);
  if (normal == text) return;
  if (QTableWidgetItem* item = listExtCmd->item(Row, Column)) {
    item->setText(QString::fromStdString(normal));
  } else {
    listExtCmd->setItem(Row, Column, new QTableWidgetItem(QString::fromStdString(normal)));
  }
}

bool TformCplCfg::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == listExtCmd && Event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(Event);
    listExtCmdKeyDown(key);
    if (key->isAccepted()) return true;
  } else if (Event->type() == QEvent::KeyPress && Watched->parent() == listExtCmd->viewport()) {
    // A cell's editor: the row keys (which the editor would take as its own
    // line-editing keys) commit the edit, then act on the table. Down passes
    // through the editor to the table by itself.
    auto* key = static_cast<QKeyEvent*>(Event);
    const bool ctrl = key->modifiers() == Qt::ControlModifier;
    const bool rowKey = (ctrl && (key->key() == Qt::Key_U || key->key() == Qt::Key_D || key->key() == Qt::Key_Delete)) ||
                        (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_Insert);
    if (rowKey) {
      CommitEdit();
      listExtCmdKeyDown(key);
      return true;
    }
  }
  return TForm::eventFilter(Watched, Event);
}

void TformCplCfg::listExtCmdKeyDown(QKeyEvent* Event) {
  const int row = listExtCmd->currentRow();
  const int count = listExtCmd->rowCount();
  const int column = std::max(listExtCmd->currentColumn(), 0);
  const bool ctrl = Event->modifiers() == Qt::ControlModifier;
  const bool plain = Event->modifiers() == Qt::NoModifier;
  if (ctrl && Event->key() == Qt::Key_U) {
    if (row >= 1) {
      SwapRows(row, row - 1);
      listExtCmd->setCurrentCell(row - 1, column);
    }
  } else if (ctrl && Event->key() == Qt::Key_D) {
    if (row >= 0 && row < count - 1) {
      SwapRows(row, row + 1);
      listExtCmd->setCurrentCell(row + 1, column);
    }
  } else if (ctrl && Event->key() == Qt::Key_Delete) {
    if (row >= 0) {
      listExtCmd->removeRow(row);
      if (listExtCmd->rowCount() > 0) listExtCmd->setCurrentCell(std::min(row, listExtCmd->rowCount() - 1), column);
    }
  } else if (plain && Event->key() == Qt::Key_Insert) {
    InsertRow(std::max(row, 0));
  } else if (plain && Event->key() == Qt::Key_Down && row == count - 1) {
    // Down on the last row appends one, unless that row is still empty.
    if (count == 0 || !CellText(listExtCmd, row, kKeyColumn).isEmpty() ||
        !CellText(listExtCmd, row, kCommandColumn).isEmpty())
      InsertRow(count);
  } else {
    Event->ignore();
    return;
  }
  Event->accept();
}

void TformCplCfg::SwapRows(int A, int B) {
  for (int column = 0; column < listExtCmd->columnCount(); ++column) {
    QTableWidgetItem* a = listExtCmd->takeItem(A, column);
    QTableWidgetItem* b = listExtCmd->takeItem(B, column);
    listExtCmd->setItem(A, column, b);
    listExtCmd->setItem(B, column, a);
  }
}

void TformCplCfg::InsertRow(int Row) {
  listExtCmd->insertRow(Row);
  listExtCmd->setItem(Row, kKeyColumn, new QTableWidgetItem);
  listExtCmd->setItem(Row, kCommandColumn, new QTableWidgetItem);
  listExtCmd->setCurrentCell(Row, kKeyColumn);
}

}  // namespace velkor
