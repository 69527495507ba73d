// Small pieces the application's windows share: the text conversion they
// all use and the buttons every dialog ends with.
#pragma once

#include <QString>

#include <initializer_list>
#include <string>
#include <string_view>

class QHBoxLayout;
class QWidget;

namespace velkor {

class TSmartBtn;

inline QString Q(const std::string& S) { return QString::fromStdString(S); }

// Where the contest's file and folder dialogs start: the archive's folder,
// else the folder holding the tasks or the contestants, else the last ones
// chosen, else the home folder (never the program's working folder).
std::string ContestFolder();

// A score as the result grid shows it under the number pattern Pattern, in
// the separators the GUI uses; the settings preview shows the same text.
std::string GridScoreText(std::string_view Pattern, double Value);

// A button with Caption (UTF-8) that never becomes the default by taking
// the focus: Enter stays with the dialog's default button.
TSmartBtn* NewDialogButton(const char* Caption, QWidget* Parent);
// "Ghi nhận": ends the dialog with mrOk; the default button.
TSmartBtn* NewOkButton(QWidget* Parent);
// "Hủy bỏ": ends the dialog with mrCancel; Esc clicks it.
TSmartBtn* NewCancelButton(QWidget* Parent);
// "Hướng dẫn": shows the help topic Topic, leaving the dialog open.
TSmartBtn* NewHelpButton(const char* Topic, QWidget* Parent);
// A dialog's row of buttons: Left (may be null) at the left edge, Right
// together at the right.
QHBoxLayout* NewButtonRow(QWidget* Left, std::initializer_list<QWidget*> Right);

}  // namespace velkor
