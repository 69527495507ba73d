// The settings and security windows, driven for real: what they show from
// the environment settings, what OK writes back (and into Velkor.cfg), what
// Cancel leaves alone, and the buttons that leave the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QTest>

#include <filesystem>
#include <functional>
#include <numbers>
#include <memory>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/SecurityU.h"
#include "app/SettingsU.h"
#include "components/DefaultFonts.h"
#include "core/Dialogs.h"
#include "core/FileUtils.h"
#include "app/FormParts.h"
#include "core/NumberFormat.h"
#include "core/SystemInfo.h"
#include "judging/EnvConfig.h"
#include "toolkit/VisualStyles.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;

std::string Lower(std::string S) {
  for (char& c : S)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return S;
}

// A style name as part of a picture's file name.
std::string Slug(const std::string& Name) {
  std::string s = Lower(Name);
  for (char& c : s)
    if (c == ' ') c = '-';
  return s;
}

// The security window plays Velkor run by the account Obstacle says of,
// for as long as it lives.
struct TPlayedAccount {
  explicit TPlayedAccount(std::function<std::string()> Obstacle) { TSecurityForm::ModeObstacle = std::move(Obstacle); }
  ~TPlayedAccount() { TSecurityForm::ModeObstacle = SecurityModeObstacle; }
};

class SettingsDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    CompilerConfig = std::make_unique<TCompilerConfig>();
    EnvConfig = std::make_unique<TEnvConfig>();
    fs::remove_all(ConfigFileName());
    FPreviousDialog = SetMessageDialog(FMessages);
    FFont = QApplication::font();
  }
  void TearDown() override {
    SetMessageDialog(FPreviousDialog);
    ApplyDefaultFont(&FFont);
    RestoreSystemStyle();
    fs::remove_all(ConfigFileName());
    EnvConfig.reset();
    CompilerConfig.reset();
  }

  // What Velkor.cfg holds, read back into fresh settings.
  TEnvConfig Stored() {
    const TEnvConfig kept = *EnvConfig;
    LoadConfiguration();
    TEnvConfig stored = *EnvConfig;
    *EnvConfig = kept;
    return stored;
  }

  std::shared_ptr<TScriptedMessageDialog> FMessages = std::make_shared<TScriptedMessageDialog>();
  std::shared_ptr<IMessageDialog> FPreviousDialog;
  QFont FFont;
};

TEST_F(SettingsDialogs, SettingsShowTheConfigurationAndOkWritesItBackAndSaves) {
  const std::string style = StyleNames().at(3);
  const std::string online = (fs::temp_directory_path() / "online").string();
  fs::create_directories(online);
  EnvConfig->SubmitDir = "/srv/submit";
  EnvConfig->DecompressDir = "/srv/unpacked";
  EnvConfig->ContestHouse = "/srv/house";
  EnvConfig->NumberFormat = "%.2n";
  EnvConfig->StyleName = Lower(style);
  EnvConfig->ToolBarVisible = false;
  EnvConfig->GUIFontName = "dejavu sans";  // found ignoring letter case
  EnvConfig->GUIFontSize = 11;

  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Thiết lập môi trường");
    EXPECT_EQ(form->size(), QSize(384, 344));
    EXPECT_EQ(form->edtSubmitFolder->Value(), "/srv/submit");
    EXPECT_EQ(form->edtDecompresedFolder->Value(), "/srv/unpacked");
    EXPECT_EQ(form->edtContestHouse->Value(), "/srv/house");
    EXPECT_EQ(form->labFormat->text().toStdString(), "Ví dụ: π = 3.14");
    EXPECT_EQ(form->comboThemes->currentText().toStdString(), style) << "found ignoring letter case";
    EXPECT_EQ(form->comboThemes->count(), static_cast<int>(StyleNames().size()));
    EXPECT_EQ(form->comboThemes->maxVisibleItems(), form->comboThemes->count());
    EXPECT_FALSE(form->checkToolBar->isChecked());
    EXPECT_EQ(form->comboFontNames->currentText(), "DejaVu Sans");
    EXPECT_EQ(form->edtFontSize->Value(), 11);
    EXPECT_EQ(form->btnBrowse1->height(), form->edtSubmitFolder->sizeHint().height());
    EXPECT_EQ(form->btnOpen1->height(), form->btnBrowse1->height());

    form->edtSubmitFolder->SetValue(QString::fromStdString(online));
    form->edtNumberFormat->selectAll();
    QTest::keyClicks(form->edtNumberFormat, "%.4f");
    EXPECT_EQ(form->labFormat->text().toStdString(), "Ví dụ: π = 3.1416");
    form->checkToolBar->click();
    form->edtFontSize->SetValue(40);
    test::SaveShot(form, "settings-form");
    QTest::keyClick(form, Qt::Key_Return);
  });
  EditSettings();

  EXPECT_EQ(EnvConfig->SubmitDir, online);
  EXPECT_EQ(EnvConfig->NumberFormat, "%.4f");
  EXPECT_TRUE(EnvConfig->ToolBarVisible);
  EXPECT_EQ(EnvConfig->GUIFontSize, 32);
  EXPECT_EQ(EnvConfig->StyleName, Lower(style)) << "the same style in other case is kept as it was";
  EXPECT_EQ(QApplication::font().family(), "DejaVu Sans");
  EXPECT_EQ(QApplication::font().pointSize(), 32);

  const TEnvConfig stored = Stored();
  EXPECT_EQ(stored.SubmitDir, online);
  EXPECT_EQ(stored.DecompressDir, "/srv/unpacked");
  EXPECT_EQ(stored.NumberFormat, "%.4f");
  EXPECT_EQ(stored.GUIFontSize, 32);
  EXPECT_TRUE(FMessages->Requests().empty());
}

// A submission folder that does not exist is asked about on OK: No keeps
// the window open at that field, Yes keeps the folder (one still to be
// made); an existing or empty folder asks nothing.
TEST_F(SettingsDialogs, AMissingSubmissionFolderIsAskedAboutOnOk) {
  const fs::path root = fs::temp_directory_path() / "settings-submit";
  fs::remove_all(root);
  fs::create_directories(root / "there");
  const std::string missing = (root / "not-yet").string();
  EnvConfig->SubmitDir = (root / "there").string();
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form));
    form->edtSubmitFolder->setFocus();
    form->edtSubmitFolder->selectAll();
    QTest::keyClicks(form->edtSubmitFolder, QString::fromStdString(missing));
    FMessages->AddAnswer(mrNo);
    QTest::keyClick(form, Qt::Key_Return);
    EXPECT_TRUE(form->isVisible()) << "No: the jury corrects the folder";
    EXPECT_EQ(QApplication::focusWidget(), form->edtSubmitFolder);
    EXPECT_EQ(EnvConfig->SubmitDir, (root / "there").string());
    FMessages->AddAnswer(mrYes);
    form->btnOK->click();
  });
  EditSettings();
  EXPECT_EQ(EnvConfig->SubmitDir, missing);
  EXPECT_EQ(Stored().SubmitDir, missing);
  const auto asked = FMessages->Requests();
  ASSERT_EQ(asked.size(), 2u);
  for (const TMsgDlgRequest& r : asked) {
    EXPECT_EQ(r.DlgType, mtConfirmation);
    EXPECT_EQ(r.Buttons, (TMsgDlgButtons{mbYes, mbNo}));
    EXPECT_EQ(r.Msg, "Không tìm thấy thư mục nộp bài trực tuyến \"" + missing +
                         "\". Bài nộp trực tuyến chỉ được chấm khi có thư mục này. Vẫn ghi nhận?");
  }

  for (const std::string& folder : {(root / "there").string(), std::string()}) {
    EnvConfig->SubmitDir = folder;
    test::WhenModal([](QWidget* Dialog) { dynamic_cast<TSettingsForm*>(Dialog)->btnOK->click(); });
    EditSettings();
    EXPECT_EQ(FMessages->Requests().size(), 2u) << "nothing asked for \"" << folder << "\"";
  }
  fs::remove_all(root);
}

TEST_F(SettingsDialogs, FontSizeIsClampedAndNoFontChosenChangesNoFont) {
  EnvConfig->GUIFontName = "DejaVu Sans";
  for (auto [typed, stored] : {std::pair{40, 32}, {2, 6}, {6, 6}, {32, 32}, {12, 12}}) {
    TSettingsForm form;
    form.LoadFromConfig();
    form.edtFontSize->SetValue(typed);
    form.SaveToConfig();
    EXPECT_EQ(EnvConfig->GUIFontSize, stored) << typed;
  }
  EnvConfig->GUIFontName = "No Such Family";
  EnvConfig->GUIFontSize = 9;
  const QFont before = QApplication::font();
  TSettingsForm form;
  form.LoadFromConfig();
  form.comboFontNames->setCurrentIndex(-1);
  form.edtFontSize->SetValue(20);
  form.SaveToConfig();
  EXPECT_EQ(EnvConfig->GUIFontName, "No Such Family");
  EXPECT_EQ(EnvConfig->GUIFontSize, 9);
  EXPECT_EQ(QApplication::font(), before);
}

// A font name this machine lacks (from another machine's configuration, or
// "/GUIFONT") is drawn in a substitute; the box shows that one, not nothing.
TEST_F(SettingsDialogs, FontBoxShowsTheFontInUseWhenTheStoredOneIsMissing) {
  QFont missing(QStringLiteral("No Such Family"));
  missing.setPointSize(9);
  ApplyDefaultFont(&missing);
  EnvConfig->GUIFontName = "No Such Family";
  const QString drawnWith = QFontInfo(QApplication::font()).family();
  ASSERT_NE(drawnWith, "No Such Family");
  TSettingsForm form;
  form.LoadFromConfig();
  EXPECT_GE(form.comboFontNames->currentIndex(), 0);
  EXPECT_EQ(form.comboFontNames->currentText(), drawnWith);
  form.SaveToConfig();
  EXPECT_EQ(EnvConfig->GUIFontName, drawnWith.toStdString());
}

// The window opens with the focus in its first field, which takes Escape
// only to take typed text back: Escape closes the window from there.
TEST_F(SettingsDialogs, EscapeClosesTheWindowFromItsFirstField) {
  EnvConfig->SubmitDir = "/a";
  QWidget* focused = nullptr;
  QWidget* first = nullptr;
  bool closedByTypedEscape = true, closedByEscape = false;
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(QTest::qWaitForWindowActive(form));
    first = form->edtSubmitFolder;
    focused = QApplication::focusWidget();
    QTest::keyClicks(form->edtSubmitFolder, "/b");
    QTest::keyClick(form->edtSubmitFolder, Qt::Key_Escape);
    closedByTypedEscape = !form->isVisible();
    QTest::keyClick(form->edtSubmitFolder, Qt::Key_Escape);
    closedByEscape = !form->isVisible();
    if (!closedByEscape) form->reject();
  });
  EditSettings();
  EXPECT_EQ(focused, first);
  EXPECT_FALSE(closedByTypedEscape);
  EXPECT_TRUE(closedByEscape);
  EXPECT_EQ(EnvConfig->SubmitDir, "/a");
  EXPECT_FALSE(fs::exists(ConfigFileName())) << "Escape closes as Cancel, writing nothing";
}

TEST_F(SettingsDialogs, StyleIsAppliedOnlyWhenItChanges) {
  const std::vector<std::string>& names = StyleNames();
  ASSERT_GE(names.size(), 4u);
  ApplyStyle(names[1]);
  EnvConfig->StyleName = Lower(names[2]);  // not the active one, on purpose
  {
    TSettingsForm form;
    form.LoadFromConfig();
    form.SaveToConfig();  // same name, other case: neither stored nor applied
    EXPECT_EQ(EnvConfig->StyleName, Lower(names[2]));
    EXPECT_EQ(ActiveStyleName(), names[1]);
  }
  {
    TSettingsForm form;
    form.LoadFromConfig();
    form.comboThemes->setCurrentIndex(3);
    form.SaveToConfig();
    EXPECT_EQ(EnvConfig->StyleName, names[3]);
    EXPECT_EQ(ActiveStyleName(), names[3]);
  }
  {
    TSettingsForm form;
    form.LoadFromConfig();
    form.comboThemes->setCurrentIndex(-1);
    form.SaveToConfig();
    EXPECT_EQ(EnvConfig->StyleName, "Default");
    EXPECT_EQ(ActiveStyleName(), "Default");
  }
  EnvConfig->StyleName = "Unknown";
  TSettingsForm form;
  form.LoadFromConfig();
  EXPECT_EQ(form.comboThemes->currentIndex(), 0) << "an unknown style selects the first";
}

TEST_F(SettingsDialogs, PreviewShowsTheGridsTextAndUnusablePatternsAreRefused) {
  const char* const refused = "Khuôn dạng không dùng được";
  EnvConfig->NumberFormat = "%d";  // stored by an older version: shown as unusable at once
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->labFormat->text().toStdString(), refused);
    const struct {
      const char* Pattern;
      const char* Preview;
    } cases[] = {{"%.2n", "Ví dụ: π = 3.14"},
                 {"%.4f", "Ví dụ: π = 3.1416"},
                 {"%d", refused},  // the grid would show "3.14" instead
                 {"%s%s%s", refused},
                 {"%.2f%.2f", refused},
                 {"", refused}};
    for (const auto& c : cases) {
      form->edtNumberFormat->clear();
      QTest::keyClicks(form->edtNumberFormat, QString::fromUtf8(c.Pattern));
      EXPECT_EQ(form->labFormat->text().toStdString(), c.Preview) << c.Pattern;
    }
    test::SaveShot(form, "settings-refused-number-format");
    // OK with an unusable pattern: said, naming it, and the dialog stays.
    form->edtNumberFormat->setText("%d");
    FMessages->AddAnswer(mrOk);
    form->btnOK->click();
    ASSERT_EQ(FMessages->Requests().size(), 1u);
    EXPECT_EQ(FMessages->Requests()[0].Msg.rfind("Khuôn dạng số thập phân \"%d\" không dùng được", 0), 0u)
        << FMessages->Requests()[0].Msg;
    EXPECT_EQ(FMessages->Requests()[0].DlgType, mtError);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->edtNumberFormat->hasFocus() || !form->isActiveWindow());
    // The preview and the grid format alike, in the separators the grid uses.
    const TNumberLocale saved = ProcessNumberLocale();
    TNumberLocale comma;
    comma.DecimalPoint = ",";
    comma.ThousandsSep = ".";
    comma.Grouping = "\3";
    SetProcessNumberLocale(comma);
    form->edtNumberFormat->setText("%.3f");
    EXPECT_EQ(form->labFormat->text().toStdString(), "Ví dụ: π = 3,142");
    EXPECT_EQ(GridScoreText("%.3f", std::numbers::pi), "3,142");
    form->edtNumberFormat->setText("%.1n");
    EXPECT_EQ(form->labFormat->text().toStdString(), "Ví dụ: π = 3,1");
    SetProcessNumberLocale(saved);
    form->btnOK->click();
  });
  EditSettings();
  EXPECT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(EnvConfig->NumberFormat, "%.1n");
  EXPECT_EQ(Stored().NumberFormat, "%.1n");

  // Cancel with an unusable pattern typed asks nothing and keeps the old one.
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    form->edtNumberFormat->setText("%x");
    QTest::keyClick(form, Qt::Key_Escape);
  });
  EditSettings();
  EXPECT_EQ(FMessages->Requests().size(), 1u);
  EXPECT_EQ(EnvConfig->NumberFormat, "%.1n");
}

TEST_F(SettingsDialogs, TextStillBeingTypedAtOkCounts) {
  EnvConfig->GUIFontName = "DejaVu Sans";
  EnvConfig->GUIFontSize = 9;
  EnvConfig->ContestHouse = "/srv/house";
  for (const bool folder : {false, true}) {
    SCOPED_TRACE(folder ? "folder" : "font size");
    test::WhenModal([&](QWidget* Dialog) {
      auto* form = dynamic_cast<TSettingsForm*>(Dialog);
      ASSERT_NE(form, nullptr);
      ASSERT_TRUE(QTest::qWaitForWindowActive(form));
      ValueEditBase* edit = folder ? static_cast<ValueEditBase*>(form->edtContestHouse) : form->edtFontSize;
      edit->setFocus();
      edit->selectAll();
      QTest::keyClicks(edit, folder ? "/srv/other-house" : "1");
      QTest::keyClick(edit, Qt::Key_Return);  // stays in the edit
      EXPECT_TRUE(form->isVisible());
      QTest::keyClicks(edit, folder ? "0" : "5");  // typed after Enter, before OK
      form->btnOK->click();
    });
    EditSettings();
  }
  EXPECT_EQ(EnvConfig->GUIFontSize, 15);
  EXPECT_EQ(EnvConfig->ContestHouse, "/srv/other-house0");
  EXPECT_EQ(Stored().ContestHouse, "/srv/other-house0");
}

TEST_F(SettingsDialogs, CancelWritesNothingInEitherWindow) {
  EnvConfig->SubmitDir = "/a";
  EnvConfig->AdminUserName = "judge";
  EnvConfig->GUIFontSize = 9;
  test::WhenModal([](QWidget* Dialog) {
    auto* form = dynamic_cast<TSettingsForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    form->edtSubmitFolder->SetValue("/b");
    form->edtFontSize->SetValue(40);
    QTest::keyClick(form, Qt::Key_Escape);
  });
  EditSettings();
  test::WhenModal([](QWidget* Dialog) {
    auto* form = dynamic_cast<TSecurityForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    form->edtUserName->setText("other");
    form->btnCancel->click();
  });
  EditSecurity();
  EXPECT_EQ(EnvConfig->SubmitDir, "/a");
  EXPECT_EQ(EnvConfig->GUIFontSize, 9);
  EXPECT_EQ(EnvConfig->AdminUserName, "judge");
  EXPECT_FALSE(fs::exists(ConfigFileName()));
}

TEST_F(SettingsDialogs, FolderButtonsPickAndOpenTheEditsFolders) {
  const fs::path root = fs::temp_directory_path() / "settings-folders";
  fs::create_directories(root / "picked");
  std::vector<std::string> asked;
  const TFolderPicker previous = SetFolderPicker([&](void*, const std::string& Title, std::string& Dir) {
    asked.push_back(Title + "|" + Dir);
    if (Title == "Chọn thư mục giải nén") return false;  // the user gave up
    Dir = (root / "picked").string();
    return true;
  });
  test::TRecordingOpener opener;
  EnvConfig->SubmitDir = "/s";
  EnvConfig->DecompressDir = root.string();
  EnvConfig->ContestHouse = "/h";
  TSettingsForm form;
  form.LoadFromConfig();
  for (TSmartBtn* b : {form.btnBrowse1, form.btnBrowse2, form.btnBrowse3}) QTest::mouseClick(b, Qt::LeftButton);
  SetFolderPicker(previous);
  EXPECT_EQ(asked, (std::vector<std::string>{"Chọn thư mục nộp bài trực tuyến|/s", "Chọn thư mục giải nén|" + root.string(),
                                             "Chọn thư mục chứa phòng thi|/h"}));
  const QString picked = QString::fromStdString((root / "picked").string());
  EXPECT_EQ(form.edtSubmitFolder->Value(), picked);
  EXPECT_EQ(form.edtDecompresedFolder->Value().toStdString(), root.string());
  EXPECT_EQ(form.edtContestHouse->Value(), picked);

  for (TSmartBtn* b : {form.btnOpen2, form.btnOpen1}) QTest::mouseClick(b, Qt::LeftButton);
  EXPECT_EQ(opener.Opened, (std::vector<std::string>{root.string(), picked.toStdString()}));
  EXPECT_TRUE(FMessages->Requests().empty());

  // A folder that is not there, or that the desktop cannot open, is told.
  FMessages->AddAnswer(mrOk);
  FMessages->AddAnswer(mrOk);
  form.edtContestHouse->SetValue("/no/such/folder");
  QTest::mouseClick(form.btnOpen3, Qt::LeftButton);
  opener.Result = false;
  QTest::mouseClick(form.btnOpen1, Qt::LeftButton);
  const auto requests = FMessages->Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Msg, "Không tìm thấy thư mục \"/no/such/folder\".");
  EXPECT_EQ(requests[1].Msg, "Không mở được thư mục \"" + picked.toStdString() + "\".");
  EXPECT_EQ(opener.Opened.size(), 3u) << "a missing folder is never handed to the desktop";
  fs::remove_all(root);
}

TEST_F(SettingsDialogs, AFailedSaveIsReportedNamingTheFileAndKeepsTheSettings) {
  fs::create_directories(fs::path(ConfigFileName()) / "in-the-way");  // a folder where the file belongs
  FMessages->AddAnswer(mrOk);
  TSecurityForm form;
  form.LoadFromConfig();
  form.edtUserName->setText("judge");
  form.SaveToConfig();
  EXPECT_EQ(EnvConfig->AdminUserName, "judge");
  const auto requests = FMessages->Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].DlgType, mtError);
  EXPECT_NE(requests[0].Msg.find(ConfigFileName()), std::string::npos) << requests[0].Msg;
}

TEST_F(SettingsDialogs, SecurityStoresTheTypedTextsAndShowsThePasswordOnRequest) {
  const TPlayedAccount plainAccount([] { return std::string(); });
  EnvConfig->ActiveSecurity = false;
  EnvConfig->AdminPassword = "secret";
  test::TRecordingLink link;
  MainFormLink::InstallHelpRoute();
  test::WhenModal([&](QWidget* Dialog) {
    auto* form = dynamic_cast<TSecurityForm*>(Dialog);
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->windowTitle().toStdString(), "Bảo mật");
    EXPECT_EQ(form->size(), QSize(384, 228));
    EXPECT_EQ(form->edtPassword->text(), "secret");
    EXPECT_EQ(form->edtPassword->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(form->edtPassword->styleSheet().contains("9679"));
    std::vector<QWidget*> tabs{form->chkActiveSecurity};
    for (QWidget* w = tabs[0]->nextInFocusChain(); w != tabs[0]; w = w->nextInFocusChain())
      if (w->focusPolicy() & Qt::TabFocus) tabs.push_back(w);
    EXPECT_EQ(tabs, (std::vector<QWidget*>{form->chkActiveSecurity, form->edtUserName, form->edtPassword,
                                           form->chkShowPassword, form->edtDomain, form->btnHelp, form->btnOK,
                                           form->btnCancel}));
    test::SaveShot(form, "security-form");
    form->chkShowPassword->click();
    EXPECT_EQ(form->edtPassword->echoMode(), QLineEdit::Normal);
    test::SaveShot(form, "security-form-password-shown");
    form->chkShowPassword->click();
    EXPECT_EQ(form->edtPassword->echoMode(), QLineEdit::Password);

    QTest::mouseClick(form->btnHelp, Qt::LeftButton);
    EXPECT_TRUE(form->isVisible()) << "help leaves the window open";
    form->edtPassword->setFocus();
    QTest::keyClick(form->edtPassword, Qt::Key_F1);
    form->chkActiveSecurity->click();
    form->edtUserName->setText("");  // switched on with no account: the engine decides
    form->edtPassword->setText(" pass word ");
    form->edtDomain->setText(" WORKGROUP ");
    QTest::mouseClick(form->btnOK, Qt::LeftButton);
  });
  EditSecurity();
  SetHelpCallback(nullptr);
  EXPECT_EQ(link.Calls, (std::vector<std::string>{"help:Security", "help:Security"})) << "the button, then F1";

  const TEnvConfig stored = Stored();
  for (const TEnvConfig* c : {static_cast<const TEnvConfig*>(EnvConfig.get()), &stored}) {
    EXPECT_TRUE(c->ActiveSecurity);
    EXPECT_EQ(c->AdminUserName, "");
    EXPECT_EQ(c->AdminPassword, " pass word ");
    EXPECT_EQ(c->AdminDomain, " WORKGROUP ");
  }
}

// As the super-user the mode can never hold: the jury hears so the moment
// it is switched on, by mouse or key, and the switch stays off; a setting
// stored on earlier is shown as it is, without a word.
TEST_F(SettingsDialogs, SecurityModeSwitchedOnAsTheSuperUserIsRefusedAtOnce) {
  if (!IsUserAdmin()) GTEST_SKIP() << "the tests do not run as the super-user";
  EnvConfig->ActiveSecurity = true;
  TSecurityForm form;
  form.LoadFromConfig();
  form.show();
  EXPECT_TRUE(form.chkActiveSecurity->isChecked());
  EXPECT_TRUE(FMessages->Requests().empty());

  form.chkActiveSecurity->click();  // off: nothing to say
  EXPECT_TRUE(FMessages->Requests().empty());
  FMessages->AddAnswer(mrOk);
  FMessages->AddAnswer(mrOk);
  QTest::mouseClick(form.chkActiveSecurity, Qt::LeftButton);
  form.chkActiveSecurity->setFocus();
  QTest::keyClick(form.chkActiveSecurity, Qt::Key_Space);
  const auto requests = FMessages->Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const TMsgDlgRequest& r : requests) {
    EXPECT_EQ(r.DlgType, mtWarning);
    EXPECT_EQ(r.Msg,
              "Không bật được chế độ bảo mật.\r\nVelkor đang chạy với quyền root (siêu người dùng), quyền mà không "
              "danh sách quyền truy cập nào ràng buộc được.\r\nHãy chạy Velkor bằng một tài khoản thường để dùng "
              "chế độ bảo mật (xem Hướng dẫn).");
  }
  EXPECT_FALSE(form.chkActiveSecurity->isChecked());
  form.SaveToConfig();
  EXPECT_FALSE(EnvConfig->ActiveSecurity);
  EXPECT_FALSE(Stored().ActiveSecurity);
}

TEST_F(SettingsDialogs, PicturesUnderSeveralStyles) {
  EnvConfig->SubmitDir = "/home/jury/contest/online-submissions";
  EnvConfig->DecompressDir = "/home/jury/contest/unpacked";
  EnvConfig->ContestHouse = "/home/jury/contest-house";
  EnvConfig->NumberFormat = "%.2n";
  EnvConfig->GUIFontName = "DejaVu Sans";
  EnvConfig->GUIFontSize = 9;
  const std::vector<std::string>& names = StyleNames();
  for (std::size_t i : {std::size_t{0}, names.size() / 2, names.size() - 1}) {
    ASSERT_TRUE(ApplyStyle(names[i]));
    EnvConfig->StyleName = names[i];
    TSettingsForm settings;
    settings.LoadFromConfig();
    settings.show();
    test::SaveShot(&settings, "settings-form-" + Slug(names[i]));
    TSecurityForm security;
    security.LoadFromConfig();
    security.show();
    test::SaveShot(&security, "security-form-" + Slug(names[i]));
  }
}

}  // namespace
}  // namespace velkor
