#include "core/FileUtilsWrap.h"

#include <sys/stat.h>

#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <vector>

#include "core/Dialogs.h"
#include "core/FileUtils.h"

namespace velkor {
namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string TransferFailedMessage(const char* verb, const std::string& source, const std::string& destDir,
                                  const std::string& newName) {
  std::string text = std::string("Không thể ") + verb + " " + Quoted(source) + " vào " + Quoted(destDir);
  if (!newName.empty()) text += " với tên mới " + Quoted(newName);
  return text + ". Hãy kiểm tra lại!";
}

void CreateFolder(const std::string& folder) {
  std::error_code ec;  // a folder that cannot be made fails the copy itself
  std::filesystem::create_directories(folder, ec);
}

// DeleteWithRetry, then again after each pause while Path remains.
void DeleteWithPauses(const std::string& path, std::initializer_list<std::uint32_t> pausesMs) {
  DeleteWithRetry(path);
  for (std::uint32_t pause : pausesMs) {
    if (!PathExists(path)) return;
    RetrySleep(pause);
    DeleteWithRetry(path);
  }
}

}  // namespace

std::string DeleteFailedMessage(const std::string& Path) {
  return "Không thể xóa thư mục/tập tin: " + Quoted(Path) +
         ", hãy thử lại hoặc xóa thư mục này bằng tay rồi tiếp tục";
}

void CopyOrFail(const std::string& Source, const std::string& DestDir, const std::string& NewName) {
  CreateFolder(DestDir);
  if (!CopyWithRetry(Source, DestDir, NewName))
    throw std::runtime_error(TransferFailedMessage("chép", Source, DestDir, NewName));
}

void MoveOrFail(const std::string& Source, const std::string& DestDir, const std::string& NewName) {
  CreateFolder(DestDir);
  if (!MoveWithRetry(Source, DestDir, NewName))
    throw std::runtime_error(TransferFailedMessage("chuyển", Source, DestDir, NewName));
}

void DeleteOrFail(const std::string& Path) {
  DeleteWithPauses(Path, {1000, 5000});
  if (PathExists(Path)) throw std::runtime_error(DeleteFailedMessage(Path));
}

void EmptyOrFail(const std::string& Path) {
  std::vector<std::string> entries;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(Path, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path().string());
  if (ec) throw std::runtime_error(DeleteFailedMessage(Path));
  for (const std::string& entry : entries) DeleteOrFail(entry);
}

void DeleteOrAskUser(const std::string& Path) {
  while (PathExists(Path)) {
    DeleteWithPauses(Path, {1000, 10000});
    if (!PathExists(Path)) return;
    if (VQRMsgDlg(DeleteFailedMessage(Path), mtError, {mbAbort, mbRetry}) != mrRetry)
      throw std::runtime_error("Người sử dụng hủy lệnh");
  }
}

}  // namespace velkor
