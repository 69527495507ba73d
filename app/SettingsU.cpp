#include "app/SettingsU.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <numbers>
#include <stdexcept>
#include <tuple>

#include "app/FormParts.h"
#include "app/MainFormLink.h"
#include "app/OnlineJudging.h"
#include "components/DefaultFonts.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "core/NameCompare.h"
#include "core/NumberFormat.h"
#include "judging/EnvConfig.h"
#include "toolkit/DesktopOpen.h"
#include "toolkit/VisualStyles.h"

namespace velkor {
namespace {

constexpr int kClientWidth = 384;
constexpr int kClientHeight = 344;
constexpr int kMinFontSize = 6;
constexpr int kMaxFontSize = 32;

QLabel* Caption(const char* Text, QWidget* Parent) { return new QLabel(QString::fromUtf8(Text), Parent); }

}  // namespace

TSettingsForm::TSettingsForm(QWidget* Parent) : TForm(Parent) {
  setObjectName("SettingsForm");
  setWindowTitle(QString::fromUtf8("Thiết lập môi trường"));

  VQR_Panel1 = new TVQR_Panel(this);
  auto* rows = new QVBoxLayout(VQR_Panel1);
  rows->setContentsMargins(10, 8, 10, 8);
  rows->setSpacing(2);

  auto folderRow = [&](const char* Label, TVQR_FileNameEdit*& Edit, TSmartBtn*& Browse, TSmartBtn*& Open) {
    rows->addWidget(Caption(Label, VQR_Panel1));
    auto* line = new QHBoxLayout;
    line->setSpacing(2);
    Edit = new TVQR_FileNameEdit(VQR_Panel1);
    Browse = NewDialogButton("...", VQR_Panel1);
    Open = NewDialogButton("Mở", VQR_Panel1);
    line->addWidget(Edit, 1);
    line->addWidget(Browse);
    line->addWidget(Open);
    rows->addLayout(line);
    rows->addSpacing(4);
  };
  folderRow("Thư mục nộp bài trực tuyến:", edtSubmitFolder, btnBrowse1, btnOpen1);
  folderRow("Thư mục chứa kỳ thi giải nén:", edtDecompresedFolder, btnBrowse2, btnOpen2);
  folderRow("Thư mục chứa \"phòng thi\":", edtContestHouse, btnBrowse3, btnOpen3);

  rows->addWidget(Caption("Khuôn dạng số thập phân: ", VQR_Panel1));
  auto* formatLine = new QHBoxLayout;
  edtNumberFormat = new QLineEdit(VQR_Panel1);
  edtNumberFormat->setFixedWidth(90);
  labFormat = new QLabel(VQR_Panel1);
  formatLine->addWidget(edtNumberFormat);
  formatLine->addWidget(labFormat, 1);
  rows->addLayout(formatLine);
  rows->addSpacing(4);

  auto* themeLine = new QHBoxLayout;
  comboThemes = new QComboBox(VQR_Panel1);
  checkToolBar = new QCheckBox(QString::fromUtf8("Hiện thanh công cụ"), VQR_Panel1);
  themeLine->addWidget(Caption("Giao diện:", VQR_Panel1));
  themeLine->addWidget(comboThemes, 1);
  themeLine->addSpacing(8);
  themeLine->addWidget(checkToolBar);
  rows->addLayout(themeLine);
  rows->addSpacing(4);

  auto* fontLine = new QHBoxLayout;
  comboFontNames = new QComboBox(VQR_Panel1);
  edtFontSize = new TVQR_IntegerEdit(VQR_Panel1);
  edtFontSize->setFixedWidth(44);
  fontLine->addWidget(Caption("Font:", VQR_Panel1));
  fontLine->addWidget(comboFontNames, 1);
  fontLine->addSpacing(8);
  fontLine->addWidget(Caption("Cỡ:", VQR_Panel1));
  fontLine->addWidget(edtFontSize);
  rows->addLayout(fontLine);
  rows->addStretch(1);

  btnOK = NewOkButton(this);
  btnCancel = NewCancelButton(this);

  QHBoxLayout* buttons = NewButtonRow(nullptr, {btnOK, btnCancel});
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(6, 6, 6, 8);
  outer->addWidget(VQR_Panel1, 1);
  outer->addLayout(buttons);

  connect(btnBrowse1, &QPushButton::clicked, this, [this] { btnBrowse1Click(); });
  connect(btnBrowse2, &QPushButton::clicked, this, [this] { btnBrowse2Click(); });
  connect(btnBrowse3, &QPushButton::clicked, this, [this] { btnBrowse3Click(); });
  connect(btnOpen1, &QPushButton::clicked, this, [this] { btnOpen1Click(); });
  connect(btnOpen2, &QPushButton::clicked, this, [this] { btnOpen2Click(); });
  connect(btnOpen3, &QPushButton::clicked, this, [this] { btnOpen3Click(); });
  connect(edtNumberFormat, &QLineEdit::textChanged, this, [this] { edtNumberFormatChange(); });
  FormCreate();
}

void TSettingsForm::FormCreate() {
  SetFixedDialogSize(this, kClientWidth, kClientHeight);
  for (auto [edit, browse, open] : {std::tuple{edtSubmitFolder, btnBrowse1, btnOpen1},
                                    std::tuple{edtDecompresedFolder, btnBrowse2, btnOpen2},
                                    std::tuple{edtContestHouse, btnBrowse3, btnOpen3}}) {
    const int h = edit->sizeHint().height();
    browse->setFixedSize(h + 4, h);
    open->setFixedSize(std::max(h + 4, open->fontMetrics().horizontalAdvance(open->Caption()) + 12),
                       browse->height());
  }
}

void TSettingsForm::done(int Result) {
  // Enter does not leave an edit, so the one with the focus may still hold
  // typed text; the others show their values (a folder shortened with
  // "..."), which must not be read back.
  if (Result == mrOk)
    if (auto* edit = dynamic_cast<ValueEditBase*>(focusWidget())) edit->UpdateValueByText();
  if (Result == mrOk && !IsValidNumberFormat(edtNumberFormat->text().toStdString())) {
    VQRMsgDlg("Khuôn dạng số thập phân \"" + edtNumberFormat->text().toStdString() +
                  "\" không dùng được: khuôn dạng cần đúng một chỗ đặt số, gồm \"%\", số chữ số sau dấu "
                  "thập phân nếu muốn và một chữ f, n, m, e hoặc g (ví dụ \"%.2n\", \"%.3f\").",
              mtError, {mbOK});
    edtNumberFormat->setFocus();
    edtNumberFormat->selectAll();
    return;
  }
  if (Result == mrOk && !ConfirmSubmitFolder()) {
    edtSubmitFolder->setFocus();
    edtSubmitFolder->selectAll();
    return;
  }
  TForm::done(Result);
}

bool TSettingsForm::ConfirmSubmitFolder() {
  // A folder still to be made (a share not mounted yet) may be kept; a
  // mistyped one is better caught now than by a scan that finds nothing.
  const std::string folder = edtSubmitFolder->Value().toStdString();
  if (folder.empty()) return true;
  const std::string missing = MissingSubmissionFolder(folder);
  return missing.empty() ||
         VQRMsgDlg(missing + " Bài nộp trực tuyến chỉ được chấm khi có thư mục này. Vẫn ghi nhận?",
                   mtConfirmation, {mbYes, mbNo}) == mrYes;
}

void TSettingsForm::LoadFromConfig() {
  edtSubmitFolder->SetValue(Q(EnvConfig->SubmitDir));
  edtDecompresedFolder->SetValue(Q(EnvConfig->DecompressDir));
  edtContestHouse->SetValue(Q(EnvConfig->ContestHouse));
  const QSignalBlocker quiet(edtNumberFormat);
  edtNumberFormat->setText(Q(EnvConfig->NumberFormat));
  edtNumberFormatChange();

  comboThemes->clear();
  int selected = -1;
  for (const std::string& name : StyleNames()) {
    if (selected < 0 && SameText(name, EnvConfig->StyleName)) selected = comboThemes->count();
    comboThemes->addItem(Q(name));
  }
  comboThemes->setMaxVisibleItems(std::max(1, comboThemes->count()));
  comboThemes->setCurrentIndex(selected >= 0 ? selected : (comboThemes->count() > 0 ? 0 : -1));

  checkToolBar->setChecked(EnvConfig->ToolBarVisible);

  comboFontNames->clear();
  comboFontNames->addItems(QFontDatabase::families());
  int font = comboFontNames->findText(Q(EnvConfig->GUIFontName), Qt::MatchFixedString);
  // A stored name this machine lacks (or a "/GUIFONT" one) is drawn in a
  // substitute: show the font the program really uses rather than none.
  if (font < 0) font = comboFontNames->findText(QFontInfo(QApplication::font()).family(), Qt::MatchFixedString);
  comboFontNames->setCurrentIndex(font);
  edtFontSize->SetValue(EnvConfig->GUIFontSize);
}

void TSettingsForm::SaveToConfig() {
  EnvConfig->SubmitDir = edtSubmitFolder->Value().toStdString();
  EnvConfig->DecompressDir = edtDecompresedFolder->Value().toStdString();
  EnvConfig->ContestHouse = edtContestHouse->Value().toStdString();
  EnvConfig->NumberFormat = edtNumberFormat->text().toStdString();

  const std::string style = comboThemes->currentIndex() >= 0 ? comboThemes->currentText().toStdString() : "Default";
  if (!SameText(style, EnvConfig->StyleName)) {
    EnvConfig->StyleName = style;
    ApplyStyle(style);
  }
  EnvConfig->ToolBarVisible = checkToolBar->isChecked();

  if (comboFontNames->currentIndex() >= 0) {
    EnvConfig->GUIFontName = comboFontNames->currentText().toStdString();
    EnvConfig->GUIFontSize =
        static_cast<int>(std::clamp<std::int64_t>(edtFontSize->Value(), kMinFontSize, kMaxFontSize));
    QFont font = CurrentGuiFont().Font;
    font.setFamily(comboFontNames->currentText());
    font.setPointSize(EnvConfig->GUIFontSize);
    ApplyDefaultFont(&font);
  }

  SaveConfigurationReporting();
}

void TSettingsForm::edtNumberFormatChange() {
  // The preview never raises while the user is still typing. It shows what
  // the grid will show, so a pattern the grid cannot use is said to be one
  // rather than previewed as the fallback the grid would silently take.
  const std::string pattern = edtNumberFormat->text().toStdString();
  if (IsValidNumberFormat(pattern))
    labFormat->setText(QString::fromUtf8("Ví dụ: π = ") + Q(GridScoreText(pattern, std::numbers::pi)));
  else
    labFormat->setText(QString::fromUtf8("Khuôn dạng không dùng được"));
}

void TSettingsForm::Browse(TVQR_FileNameEdit* Edit, const char* Title) {
  TSelectDirectory picker(this);
  picker.SetTitle(Title);
  picker.SetDirectory(Edit->Value().toStdString());
  if (picker.Execute()) Edit->SetValue(Q(picker.Directory()));
}

void TSettingsForm::OpenFolder(TVQR_FileNameEdit* Edit) {
  const std::string folder = Edit->Value().toStdString();
  std::error_code error;
  if (folder.empty() || !std::filesystem::is_directory(folder, error)) {
    VQRMsgDlg("Không tìm thấy thư mục \"" + folder + "\".", mtError, {mbOK});
    return;
  }
  if (!DesktopOpen(folder)) {
    const std::string why = DesktopOpenError();
    VQRMsgDlg("Không mở được thư mục \"" + folder + "\"" + (why.empty() ? "" : ": " + why) + ".", mtError, {mbOK});
  }
}

bool SaveConfigurationReporting() {
  try {
    SaveConfiguration();
    return true;
  } catch (const std::exception& e) {
    VQRMsgDlg("Không thể ghi file cấu hình \"" + ConfigFileName() + "\": " + e.what(), mtError, {mbOK});
  }
  return false;
}

void EditSettings() {
  TSettingsForm form(MainFormLink::Window());
  form.LoadFromConfig();
  if (QWidget* main = MainFormLink::Window()) form.move(main->geometry().center() - form.rect().center());
  if (form.exec() == mrOk) form.SaveToConfig();
}

}  // namespace velkor
