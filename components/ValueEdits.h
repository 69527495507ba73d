// Edits that hold a typed value. The value is stored; the text is only its
// view, in an editing form while the edit has the focus and a display form
// without it. Typed text becomes the value on Enter or when the focus
// leaves; an unconvertible text keeps the old value. Enter is consumed
// while the edit has the focus, so a form's default button does not react
// to it; Escape is consumed when it takes typed text back, and otherwise
// left to the form's cancel button.
//
// ValueEditBase holds the Qt event handling once; the template adds the
// value and its conversions, each replaceable by an event.
#pragma once

#include <QLineEdit>

#include <cstdint>
#include <functional>
#include <string>

#include "components/ShellComponents.h"  // TComponentNotifyEvent

namespace velkor {

class ValueEditBase : public QLineEdit {
 public:
  explicit ValueEditBase(QWidget* Parent = nullptr);

  TComponentNotifyEvent OnEditValueChange;

  // The text through DoTextToValue into the value; a failing conversion
  // keeps both value and text.
  virtual void UpdateValueByText() = 0;
  // The editing text while focused, else the display text; a failing
  // conversion leaves the text as it was.
  virtual void UpdateTextByValue() = 0;

 protected:
  virtual void EditValueChanged();

  void keyPressEvent(QKeyEvent* Event) override;
  void focusInEvent(QFocusEvent* Event) override;
  void focusOutEvent(QFocusEvent* Event) override;
};

template <class T>
using TTextToValueEvent = std::function<T(QObject* Sender, const QString& Text)>;
template <class T>
using TValueToTextEvent = std::function<QString(QObject* Sender, const T& Value)>;

template <class T>
class TVQR_CustomValueEdit : public ValueEditBase {
 public:
  explicit TVQR_CustomValueEdit(QWidget* Parent = nullptr) : ValueEditBase(Parent), FEditValue() {
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }

  TTextToValueEvent<T> OnTextToValue;
  TValueToTextEvent<T> OnValueToText2;
  TValueToTextEvent<T> OnValueToText1;

  const T& EditValue() const { return FEditValue; }
  // Every assignment fires OnEditValueChange, also an unchanged value.
  void SetEditValue(const T& Value) {
    FEditValue = Value;
    UpdateTextByValue();
    EditValueChanged();
  }

  void UpdateValueByText() override {
    T Value;
    try {
      Value = DoTextToValue(text());
    } catch (...) {
      return;
    }
    SetEditValue(Value);
  }

  void UpdateTextByValue() override {
    try {
      setText(hasFocus() ? DoValueToText1(FEditValue) : DoValueToText2(FEditValue));
    } catch (...) {
    }
  }

 protected:
  virtual T TextToValue(const QString& Text) = 0;
  virtual T DoTextToValue(const QString& Text) {
    return OnTextToValue ? OnTextToValue(this, Text) : TextToValue(Text);
  }
  virtual QString ValueToText1(const T& Value) = 0;
  virtual QString DoValueToText1(const T& Value) {
    return OnValueToText1 ? OnValueToText1(this, Value) : ValueToText1(Value);
  }
  virtual QString ValueToText2(const T& Value) = 0;
  virtual QString DoValueToText2(const T& Value) {
    return OnValueToText2 ? OnValueToText2(this, Value) : ValueToText2(Value);
  }

 private:
  T FEditValue;
};

template <class T>
class TVQR_ValueEdit : public TVQR_CustomValueEdit<T> {
 public:
  using TVQR_CustomValueEdit<T>::TVQR_CustomValueEdit;

  const T& Value() const { return this->EditValue(); }
  void SetValue(const T& V) { this->SetEditValue(V); }
};

// A signed integer; typed text must fit 32 bits. Shown with the process's
// thousands separators ("%.0n") without the focus.
class TVQR_IntegerEdit : public TVQR_ValueEdit<std::int64_t> {
 public:
  explicit TVQR_IntegerEdit(QWidget* Parent = nullptr);

 protected:
  std::int64_t TextToValue(const QString& Text) override;
  QString ValueToText1(const std::int64_t& Value) override;
  QString ValueToText2(const std::int64_t& Value) override;
};

// A floating-point value with the process's decimal separator; "%g"
// without the focus. Not-a-number and infinities are never accepted.
class TVQR_ExtendedEdit : public TVQR_ValueEdit<long double> {
 public:
  explicit TVQR_ExtendedEdit(QWidget* Parent = nullptr);

 protected:
  long double TextToValue(const QString& Text) override;
  QString ValueToText1(const long double& Value) override;
  QString ValueToText2(const long double& Value) override;
};

// A file name, left-aligned; without the focus shortened with "..." by
// whole folders to fit the edit. A drop of local files takes the first.
class TVQR_FileNameEdit : public TVQR_ValueEdit<QString> {
 public:
  explicit TVQR_FileNameEdit(QWidget* Parent = nullptr);

 protected:
  QString TextToValue(const QString& Text) override;
  QString ValueToText1(const QString& Value) override;
  QString ValueToText2(const QString& Value) override;

  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dragMoveEvent(QDragMoveEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
};

// Path shortened to at most MaxWidth pixels in Metrics: leading folders
// give way to "..." one by one, then the folders altogether.
QString MinimizeName(const QString& Path, const QFontMetrics& Metrics, int MaxWidth);

}  // namespace velkor
