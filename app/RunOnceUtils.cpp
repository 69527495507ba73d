#include "app/RunOnceUtils.h"

#include <QGuiApplication>
#include <QWidget>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Dialogs.h"
#include "core/SystemInfo.h"
#include "core/Unicode.h"
#include "judging/FolderLocks.h"
#include "platform/AccountFolders.h"
#include "platform/UniqueFd.h"
#include "toolkit/SingleInstance.h"

namespace velkor {

std::unique_ptr<TSingleInstanceLock> SingleInstanceMutex;

namespace {

// How long a starting copy waits for a copy that is just ending, and for
// each step of the conversation with a running one.
constexpr int kLockRetryMs = 100;
constexpr int kAnswerTimeoutMs = 3000;
constexpr std::int64_t kMaxHandOverBytes = 16 << 20;

void PutInt32(std::string& Out, std::int32_t Value) {
  const auto u = static_cast<std::uint32_t>(Value);
  for (int shift = 0; shift < 32; shift += 8) Out += static_cast<char>((u >> shift) & 0xFF);
}

bool TakeInt32(std::string_view& In, std::int32_t& Value) {
  if (In.size() < 4) return false;
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(In[i]);
  Value = static_cast<std::int32_t>(u);
  In.remove_prefix(4);
  return true;
}

// Where the lock, the socket and the hand-over file lie, ending with "/":
// the account's runtime folder, whatever TMPDIR says; the temporary folder
// only when that cannot be had.
std::string GuardFolderD() {
  const std::string folder = platform::RuntimeFolder();
  return folder.empty() ? TempDirD : folder + "/";
}

}  // namespace

std::string ParamsHandOverFile() { return GuardFolderD() + kParamsHandOverFileName; }

QString ParamsServerName() { return QString::fromStdString(GuardFolderD() + "VelkorApplication.socket"); }

std::string SingleInstanceLockFile() { return GuardFolderD() + "VelkorApplication.lock"; }

bool IsMainFormCaption(const QString& Caption) {
  static const QString base = QString::fromUtf8(kMainFormCaption);
  if (Caption.size() < static_cast<qsizetype>(kMainFormCaptionUnits)) return false;
  for (std::size_t i = 0; i < kMainFormCaptionUnits; ++i) {
    char16_t a = Caption[i].unicode(), b = base[i].unicode();
    if (a >= u'a' && a <= u'z') a -= 32;
    if (b >= u'a' && b <= u'z') b -= 32;
    if (a != b) return false;
  }
  return true;
}

std::vector<std::string> ParamsForHandOver(const std::vector<std::string>& Params, const std::string& WorkDir) {
  std::vector<std::string> out = Params;
  for (std::size_t i = 0; i + 1 < out.size(); ++i) {
    std::string upper = out[i];
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c -= 32;
    if (upper != "/LOAD") continue;
    const std::filesystem::path name(out[i + 1]);
    if (name.is_relative()) out[i + 1] = (std::filesystem::path(WorkDir) / name).lexically_normal().string();
  }
  return out;
}

std::string EncodeHandOverParams(const std::vector<std::string>& Params) {
  std::string out;
  PutInt32(out, static_cast<std::int32_t>(Params.size()));
  for (const std::string& p : Params) {
    const std::u16string units = Utf8ToUtf16(p);
    PutInt32(out, static_cast<std::int32_t>(units.size()));
    for (char16_t u : units) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>(u >> 8);
    }
  }
  return out;
}

bool DecodeHandOverParams(std::string_view Bytes, std::vector<std::string>& Params) {
  Params.clear();
  std::int32_t count = 0;
  if (!TakeInt32(Bytes, count) || count < 0) return false;
  // Every entry needs at least its length field: a count beyond that is a
  // damaged file, whatever it claims.
  if (static_cast<std::uint64_t>(count) > Bytes.size() / 4) return false;
  std::vector<std::string> read;
  read.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t length = 0;
    if (!TakeInt32(Bytes, length) || length < 0) return false;
    if (static_cast<std::uint64_t>(length) > Bytes.size() / 2) return false;
    std::u16string units(static_cast<std::size_t>(length), u'\0');
    for (std::size_t k = 0; k < units.size(); ++k)
      units[k] = static_cast<char16_t>(static_cast<unsigned char>(Bytes[2 * k]) |
                                       (static_cast<unsigned char>(Bytes[2 * k + 1]) << 8));
    Bytes.remove_prefix(units.size() * 2);
    read.push_back(Utf16ToUtf8(units));
  }
  Params = std::move(read);
  return true;
}

bool WriteParamsHandOverFile(const std::string& Path, const std::vector<std::string>& Params) {
  // A file of that name that is not ours (a link planted by someone) is
  // replaced, never followed.
  struct stat st{};
  if (::lstat(Path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) ::unlink(Path.c_str());
  platform::UniqueFd fd(::open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd.Valid()) return false;
  return platform::WriteAll(fd.Get(), EncodeHandOverParams(Params));
}

bool ReadParamsHandOverFile(const std::string& Path, std::vector<std::string>& Params) {
  Params.clear();
  platform::UniqueFd fd(::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  if (!fd.Valid()) return false;
  struct stat st{};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxHandOverBytes) return false;
  std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd.Get(), bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return DecodeHandOverParams(bytes, Params);
}

bool SendParamsToRunningInstance() {
  std::error_code ec;
  const std::string workDir = std::filesystem::current_path(ec).string();
  TRunningInstance running;
  const bool found = running.Connect(ParamsServerName(), kAnswerTimeoutMs) && IsMainFormCaption(running.Caption());
  if (!WriteParamsHandOverFile(ParamsHandOverFile(), ParamsForHandOver(MyParams, workDir))) return false;
  return found && running.Notify(kAnswerTimeoutMs);
}

bool RunOnceUtilsStartup() {
  if (IsRunningFromIDE) return true;
  auto lock = std::make_unique<TSingleInstanceLock>();
  switch (lock->Take(SingleInstanceLockFile(), kLockRetryMs)) {
    case TSingleInstanceLock::lrAcquired:
      SingleInstanceMutex = std::move(lock);
      return true;
    case TSingleInstanceLock::lrFailed:
      return true;  // unguarded, as the first copy
    case TSingleInstanceLock::lrHeldByOther:
      break;
  }
  // No window of this copy says it: a jury that started it from a terminal
  // or a script learns why it ended at once.
  if (SendParamsToRunningInstance())
    std::fprintf(stderr, "Velkor đang chạy trong tài khoản này: chương trình đang chạy nhận các tham số, "
                         "chương trình này dừng lại.\n");
  else
    std::fprintf(stderr, "Velkor đang chạy trong tài khoản này nhưng chưa nhận được các tham số (cửa sổ của nó "
                         "chưa mở); chương trình này dừng lại.\n");
  return false;
}

void RunOnceUtilsCleanup() { SingleInstanceMutex.reset(); }

bool HoldWorkFoldersAtStart() {
  const std::string refused = HoldWorkFolders();
  if (refused.empty()) return true;
  const std::string text = refused + "\nChương trình này sẽ dừng lại.";
  std::fprintf(stderr, "%s\n", text.c_str());
  // Offscreen nobody could close the box, and the copy would never end.
  if (QGuiApplication::platformName() != QLatin1String("offscreen")) VQRMsgDlg(text, mtError, {mbOK});
  return false;
}

std::unique_ptr<TSingleInstanceServer> StartParamsServer(QWidget* Window, std::function<void()> OnHandOver) {
  QWidget* window = Window;
  auto server = std::make_unique<TSingleInstanceServer>(
      [window] { return window ? window->windowTitle() : QString(); }, std::move(OnHandOver));
  if (!server->Listen(ParamsServerName())) return nullptr;
  return server;
}

}  // namespace velkor
