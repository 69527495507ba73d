#include "judging/NamedObjs.h"

#include <algorithm>
#include <filesystem>

#include "core/FileUtils.h"
#include "core/Unicode.h"

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

std::string ShowableName(std::string_view Name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < Name.size();) {
    std::uint32_t cp = 0;
    if (const std::size_t n = DecodeUtf8(Name, i, cp)) {
      out.append(Name.substr(i, n));
      i += n;
    } else {
      const auto b = static_cast<unsigned char>(Name[i++]);
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool IsValidUtf8Name(std::string_view Name) {
  for (std::size_t i = 0; i < Name.size();) {
    std::uint32_t cp = 0;
    const std::size_t n = DecodeUtf8(Name, i, cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

int NonEmptyFolderWeight(const std::string& Path) {
  std::error_code ec;
  return std::filesystem::directory_iterator(Path, ec) != std::filesystem::directory_iterator() ? 1 : 0;
}

std::vector<std::string> LoadableSubFolders(const std::string& Folder, const std::string& Kind,
                                            TLoadProblems& Problems,
                                            const std::function<int(const std::string& Path)>& Weight) {
  std::vector<std::string> names;
  for (std::string& name : SubFolderNames(Folder)) {
    if (IsValidUtf8Name(name)) {
      names.push_back(std::move(name));
      continue;
    }
    Problems.push_back({"Bỏ qua thư mục " + Kind + " \"" + ShowableName(name) +
                            "\": tên thư mục không phải UTF-8 nên không chấm được; hãy đổi tên thư mục rồi nạp lại. "
                            "Thư mục chứa nó: " + ShowableName(Folder),
                        true});
  }
  // Equal names are neighbours in the sorted list.
  std::vector<std::string> result;
  for (std::size_t i = 0; i < names.size();) {
    std::size_t j = i + 1;
    while (j < names.size() && CompareText(names[i], names[j]) == 0) ++j;
    if (j == i + 1) {
      result.push_back(std::move(names[i]));
      i = j;
      continue;
    }
    std::vector<std::string> group(names.begin() + static_cast<std::ptrdiff_t>(i),
                                   names.begin() + static_cast<std::ptrdiff_t>(j));
    std::sort(group.begin(), group.end());
    std::size_t best = 0;
    int bestWeight = Weight ? Weight(JoinPath(Folder, group[0])) : 0;
    for (std::size_t k = 1; k < group.size(); ++k) {
      const int w = Weight ? Weight(JoinPath(Folder, group[k])) : 0;
      if (w > bestWeight) {
        best = k;
        bestWeight = w;
      }
    }
    std::string listed, skipped;
    for (std::size_t k = 0; k < group.size(); ++k) {
      listed += (k == 0 ? "\"" : ", \"") + group[k] + "\"";
      if (k != best) skipped += (skipped.empty() ? "\"" : ", \"") + group[k] + "\"";
    }
    Problems.push_back({"Các thư mục " + Kind + " " + listed +
                            " chỉ khác nhau ở chữ hoa, chữ thường nên chỉ dùng được một: dùng thư mục \"" +
                            group[best] + "\", bỏ qua " + skipped + ". Thư mục chứa chúng: " + ShowableName(Folder),
                        true});
    result.push_back(std::move(group[best]));
    i = j;
  }
  return result;
}

}  // namespace velkor
