#include "components/ValueEdits.h"

#include <QDropEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include <cmath>
#include <string>

#include "core/ConvertError.h"
#include "core/NumberFormat.h"

namespace velkor {

namespace {

// Activation of the window and popups move no focus between controls.
bool IsControlFocusChange(const QFocusEvent* Event) {
  return Event->reason() != Qt::ActiveWindowFocusReason && Event->reason() != Qt::PopupFocusReason;
}

TFormatSettings ProcessFormatSettings() {
  const std::string& Sep = ProcessNumberLocale().DecimalPoint;
  const std::string& Thousands = ProcessNumberLocale().ThousandsSep;
  return {Sep.size() == 1 ? Sep[0] : '.', Thousands.size() == 1 ? Thousands[0] : ','};
}

// The first dropped URL when it names a local file, else an empty string.
QString FirstLocalFile(const QMimeData* Data) {
  if (!Data || !Data->hasUrls() || Data->urls().isEmpty()) return {};
  const QUrl First = Data->urls().first();
  return First.isLocalFile() ? First.toLocalFile() : QString();
}

}  // namespace

ValueEditBase::ValueEditBase(QWidget* Parent) : QLineEdit(Parent) {}

void ValueEditBase::EditValueChanged() {
  if (OnEditValueChange) OnEditValueChange(this);
}

void ValueEditBase::keyPressEvent(QKeyEvent* Event) {
  if (hasFocus() && Event->modifiers() == Qt::NoModifier) {
    switch (Event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        UpdateValueByText();
        Event->accept();
        return;
      case Qt::Key_Escape: {
        // Escape takes back what was typed; with nothing typed it is the
        // form's, so a dialog that opens with the focus in an edit still
        // closes on Escape.
        const QString typed = text();
        UpdateTextByValue();
        if (text() != typed) {
          Event->accept();
          return;
        }
        Event->ignore();
        return;
      }
      default:
        break;
    }
  }
  QLineEdit::keyPressEvent(Event);
}

void ValueEditBase::focusInEvent(QFocusEvent* Event) {
  QLineEdit::focusInEvent(Event);
  if (!IsControlFocusChange(Event)) return;
  UpdateTextByValue();
  if (Event->reason() == Qt::TabFocusReason || Event->reason() == Qt::BacktabFocusReason ||
      Event->reason() == Qt::ShortcutFocusReason)
    selectAll();
}

void ValueEditBase::focusOutEvent(QFocusEvent* Event) {
  if (!IsControlFocusChange(Event)) {
    QLineEdit::focusOutEvent(Event);
    return;
  }
  UpdateValueByText();
  QLineEdit::focusOutEvent(Event);
  UpdateTextByValue();
}

TVQR_IntegerEdit::TVQR_IntegerEdit(QWidget* Parent) : TVQR_ValueEdit(Parent) { UpdateTextByValue(); }

std::int64_t TVQR_IntegerEdit::TextToValue(const QString& Text) {
  int Value = 0;
  if (!TryStrToInt(Text.toStdString(), Value))
    throw EConvertError("'" + Text.toStdString() + "' is not a valid integer value");
  return Value;
}

QString TVQR_IntegerEdit::ValueToText1(const std::int64_t& Value) { return QString::number(Value); }

QString TVQR_IntegerEdit::ValueToText2(const std::int64_t& Value) {
  return QString::fromStdString(FormatNumber("%.0n", double(Value), ProcessNumberLocale()));
}

TVQR_ExtendedEdit::TVQR_ExtendedEdit(QWidget* Parent) : TVQR_ValueEdit(Parent) { UpdateTextByValue(); }

long double TVQR_ExtendedEdit::TextToValue(const QString& Text) {
  double Value = 0;
  if (!TryStrToFloat(Text.toStdString(), Value, ProcessFormatSettings()) || !std::isfinite(Value))
    throw EConvertError("'" + Text.toStdString() + "' is not a valid floating point value");
  return Value;
}

QString TVQR_ExtendedEdit::ValueToText1(const long double& Value) {
  return QString::fromStdString(FloatToStr(double(Value), ProcessFormatSettings()));
}

QString TVQR_ExtendedEdit::ValueToText2(const long double& Value) {
  return QString::fromStdString(FormatNumber("%g", double(Value), ProcessNumberLocale()));
}

TVQR_FileNameEdit::TVQR_FileNameEdit(QWidget* Parent) : TVQR_ValueEdit(Parent) {
  setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setAcceptDrops(true);
  UpdateTextByValue();
}

QString TVQR_FileNameEdit::TextToValue(const QString& Text) { return Text; }

QString TVQR_FileNameEdit::ValueToText1(const QString& Value) { return Value; }

QString TVQR_FileNameEdit::ValueToText2(const QString& Value) {
  return MinimizeName(Value, fontMetrics(), contentsRect().width());
}

void TVQR_FileNameEdit::dragEnterEvent(QDragEnterEvent* Event) {
  if (Event->mimeData() && Event->mimeData()->hasUrls()) {
    if (FirstLocalFile(Event->mimeData()).isEmpty()) Event->ignore();
    else Event->acceptProposedAction();
    return;
  }
  QLineEdit::dragEnterEvent(Event);
}

void TVQR_FileNameEdit::dragMoveEvent(QDragMoveEvent* Event) {
  if (Event->mimeData() && Event->mimeData()->hasUrls()) {
    if (FirstLocalFile(Event->mimeData()).isEmpty()) Event->ignore();
    else Event->acceptProposedAction();
    return;
  }
  QLineEdit::dragMoveEvent(Event);
}

void TVQR_FileNameEdit::dropEvent(QDropEvent* Event) {
  if (Event->mimeData() && Event->mimeData()->hasUrls()) {
    const QString Name = FirstLocalFile(Event->mimeData());
    if (Name.isEmpty()) {
      Event->ignore();
      return;
    }
    SetEditValue(Name);
    Event->acceptProposedAction();
    return;
  }
  QLineEdit::dropEvent(Event);
}

void TVQR_FileNameEdit::resizeEvent(QResizeEvent* Event) {
  QLineEdit::resizeEvent(Event);
  // The display form depends on the width.
  if (!hasFocus()) UpdateTextByValue();
}

QString MinimizeName(const QString& Path, const QFontMetrics& Metrics, int MaxWidth) {
  auto Fits = [&](const QString& S) { return Metrics.horizontalAdvance(S) <= MaxWidth; };
  if (Fits(Path)) return Path;
  const qsizetype Slash = Path.lastIndexOf('/');
  const QString Name = Slash < 0 ? Path : Path.mid(Slash + 1);
  const QString Dir = Slash < 0 ? QString() : Path.left(Slash + 1);
  const QString Root = Dir.startsWith('/') ? QStringLiteral("/") : QString();
  QStringList Folders = Dir.mid(Root.size()).split('/', Qt::SkipEmptyParts);
  while (!Folders.isEmpty()) {
    Folders.removeFirst();
    QString Candidate = Root + QStringLiteral(".../");
    for (const QString& F : Folders) Candidate += F + '/';
    Candidate += Name;
    if (Fits(Candidate)) return Candidate;
  }
  if (Slash >= 0) {
    const QString Short = QStringLiteral(".../") + Name;
    if (Fits(Short)) return Short;
  }
  return Name;
}

}  // namespace velkor
