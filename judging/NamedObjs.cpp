#include "judging/NamedObjs.h"

#include <algorithm>
#include <filesystem>

#include "core/FileUtils.h"

namespace velkor {

bool IsSafePathComponent(std::string_view Name) {
  if (Name.empty() || Name == "." || Name == "..") return false;
  for (const char ch : Name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || ch == '/' || ch == '\\') return false;
  }
  return true;
}

std::string JoinPath(const std::string& Left, const std::string& Name) {
  return !Left.empty() && Left.back() == '/' ? Left + Name : Left + "/" + Name;
}

std::string ExistingFolderDir(const std::string& Value) {
  std::error_code ec;
  if (Value.empty() || !std::filesystem::is_directory(Value, ec)) return "";
  return Value.back() == '/' ? Value : Value + "/";
}

std::vector<std::string> SubFolderNames(const std::string& Folder) {
  TQueue<TFindData> found = ScanDirectory(Folder, sdFolders, "*");
  std::vector<std::string> names;
  while (!found.Empty()) names.push_back(found.Pop().Name);
  std::stable_sort(names.begin(), names.end(),
                   [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  return names;
}

}  // namespace velkor
