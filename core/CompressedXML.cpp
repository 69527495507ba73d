#include "core/CompressedXML.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <istream>
#include <iterator>
#include <ostream>
#include <sstream>

#include "core/NameCompare.h"
#include "core/SaveTemporaries.h"
#include "platform/FileAttributes.h"
#include "platform/SystemErrors.h"
#include "platform/UniqueFd.h"

namespace velkor {
namespace {

namespace fs = std::filesystem;
using platform::UniqueFd;

constexpr std::size_t kChunk = 64 * 1024;

// zlib's English message for broken data, as the kind of damage in the
// jury's words.
std::string InflateDamage(const std::string& Message) {
  const struct {
    const char* Words;
    const char* Text;
  } kinds[] = {
      {"header", "phần đầu không đúng"},
      {"compression method", "phương pháp nén không được hỗ trợ"},
      {"window size", "kích thước cửa sổ nén không hợp lệ"},
      {"data check", "mã kiểm tra dữ liệu không khớp"},
      {"length check", "độ dài dữ liệu không khớp"},
      {"too far back", "tham chiếu ra ngoài phần đã giải nén"},
  };
  for (const auto& kind : kinds)
    if (Message.find(kind.Words) != std::string::npos) return kind.Text;
  return "khối nén không hợp lệ";
}

// pugixml's reason a text is not XML, in the jury's words.
const char* ParseFailureText(pugi::xml_parse_status Status) {
  switch (Status) {
    case pugi::status_ok: return "không có lỗi";
    case pugi::status_file_not_found: return "không tìm thấy file";
    case pugi::status_io_error: return "lỗi đọc file";
    case pugi::status_out_of_memory: return "không đủ bộ nhớ";
    case pugi::status_internal_error: return "lỗi bên trong bộ đọc XML";
    case pugi::status_unrecognized_tag: return "có thẻ không nhận ra được";
    case pugi::status_bad_pi: return "chỉ thị xử lý bị hỏng";
    case pugi::status_bad_comment: return "lời chú thích bị hỏng";
    case pugi::status_bad_cdata: return "đoạn CDATA bị hỏng";
    case pugi::status_bad_doctype: return "khai báo DOCTYPE bị hỏng";
    case pugi::status_bad_pcdata: return "đoạn văn bản bị hỏng";
    case pugi::status_bad_start_element: return "thẻ mở bị hỏng";
    case pugi::status_bad_attribute: return "thuộc tính bị hỏng";
    case pugi::status_bad_end_element: return "thẻ đóng bị hỏng";
    case pugi::status_end_element_mismatch: return "thẻ đóng không khớp với thẻ mở";
    case pugi::status_append_invalid_root: return "không thêm được nút vào gốc tài liệu";
    case pugi::status_no_document_element: return "không có phần tử gốc";
  }
  return "lỗi không rõ";
}

// What failed in Vietnamese, then the file and the system's reason.
[[noreturn]] void FailErrno(const std::string& what, const std::string& path, int err) {
  throw EXMLError(what + " \"" + path + "\": " + platform::ErrnoMessage(err));
}

// "Không đọc được <origin>: <reason>", the reason in Vietnamese with the
// library's own words after it where there are any.
[[noreturn]] void FailRead(const std::string& origin, const std::string& reason) {
  throw EXMLError("Không đọc được " + origin + ": " + reason);
}

std::string Deflate(std::string_view text) {
  z_stream zs{};
  // Window 15 and memory level 8 give the plain zlib format at the default
  // level, header 78 9C.
  if (const int rc = deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY); rc != Z_OK)
    throw EXMLError("Không khởi động được bộ nén zlib: " + ZlibErrorText(rc));
  std::string out;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  int rc;
  do {
    const std::size_t used = out.size();
    out.resize(used + kChunk);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zs.avail_out = kChunk;
    rc = deflate(&zs, Z_FINISH);
    out.resize(used + kChunk - zs.avail_out);
  } while (rc == Z_OK || rc == Z_BUF_ERROR);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw EXMLError("Không nén được nội dung XML (" + ZlibErrorText(rc) + ")");
  return out;
}

// Inflates Data into Out until the stream ends, breaks or passes the
// bound; returns zlib's last code, with its message and the bytes it left.
struct TInflateEnd {
  int Code = Z_OK;
  std::string Message;
  uInt Trailing = 0;
  bool TooLarge = false;
  bool NotStarted = false;
};

TInflateEnd InflateInto(std::string_view data, std::string& out, int flush) {
  TInflateEnd end;
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) {
    end.NotStarted = true;
    return end;
  }
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  do {
    const std::size_t used = out.size();
    if (used > MaxUnpackedXMLBytes) {
      end.TooLarge = true;
      break;
    }
    out.resize(used + kChunk);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zs.avail_out = kChunk;
    end.Code = inflate(&zs, flush);
    out.resize(used + kChunk - zs.avail_out);
  } while (end.Code == Z_OK);
  if (zs.msg) end.Message = zs.msg;
  end.Trailing = zs.avail_in;
  inflateEnd(&zs);
  return end;
}

std::string Inflate(std::string_view data, const std::string& origin) {
  std::string out;
  const TInflateEnd end = InflateInto(data, out, Z_NO_FLUSH);
  if (end.TooLarge) FailRead(origin, "nội dung giải nén vượt quá " + std::to_string(MaxUnpackedXMLBytes) + " byte");
  if (end.NotStarted) FailRead(origin, "không khởi động được bộ giải nén zlib");
  if (end.Code == Z_BUF_ERROR) FailRead(origin, "dữ liệu nén bị cắt cụt");
  if (end.Code != Z_STREAM_END)
    FailRead(origin, end.Code == Z_DATA_ERROR ? "dữ liệu nén bị hỏng (" + InflateDamage(end.Message) + ")"
                                              : ZlibErrorText(end.Code));
  if (end.Trailing != 0) FailRead(origin, "có dữ liệu thừa sau phần nén");
  return out;
}

std::string ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) FailErrno("Không mở được file", path, errno);
  std::string data;
  char buf[kChunk];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FailErrno("Không đọc được file", path, errno);
    if (n == 0) return data;
    data.append(buf, static_cast<std::size_t>(n));
  }
}

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) FailErrno("Không ghi được file", path, errno);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// How a file is named in the messages.
std::string FileOrigin(const std::string& path) { return "file \"" + path + "\""; }

constexpr const char* kStreamOrigin = "luồng dữ liệu XML";

// pugixml writes into any sink; this one collects the text.
struct StringWriter : pugi::xml_writer {
  std::string Text;
  void write(const void* data, size_t size) override { Text.append(static_cast<const char*>(data), size); }
};

}  // namespace

bool IsPlainXMLFileName(std::string_view FileName) {
  const std::size_t slash = FileName.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? FileName : FileName.substr(slash + 1);
  const std::size_t dot = name.find_last_of('.');
  return dot != std::string_view::npos && SameText(name.substr(dot), ".xml");
}

pugi::xml_node TFormattedXML::ChildNode(pugi::xml_node Parent, const std::string& Name) {
  pugi::xml_node child = Parent.child(Name.c_str());
  return child ? child : Parent.append_child(Name.c_str());
}

std::optional<std::string> TFormattedXML::AttributeValue(pugi::xml_node Node, const std::string& Name) {
  const pugi::xml_attribute a = Node.attribute(Name.c_str());
  if (!a) return std::nullopt;
  return std::string(a.value());
}

std::string TFormattedXML::XML() {
  // The declaration always states UTF-8, the encoding pugixml writes.
  pugi::xml_node decl = first_child();
  if (decl.type() != pugi::node_declaration) decl = prepend_child(pugi::node_declaration);
  if (!decl.attribute("version")) decl.prepend_attribute("version") = "1.0";
  pugi::xml_attribute enc = decl.attribute("encoding");
  if (!enc) enc = decl.insert_attribute_after("encoding", decl.attribute("version"));
  enc = "UTF-8";
  StringWriter writer;
  save(writer, "\t", pugi::format_default, pugi::encoding_utf8);
  return std::move(writer.Text);
}

std::string ZlibErrorText(int Code) {
  switch (Code) {
    case Z_DATA_ERROR: return "dữ liệu nén bị hỏng";
    case Z_BUF_ERROR: return "dữ liệu nén bị cắt cụt";
    case Z_MEM_ERROR: return "không đủ bộ nhớ";
    case Z_NEED_DICT: return "dữ liệu nén cần một từ điển riêng";
    case Z_STREAM_ERROR: return "trạng thái nén không hợp lệ";
    case Z_VERSION_ERROR: return "phiên bản thư viện zlib không khớp";
    default: return "mã lỗi zlib " + std::to_string(Code);
  }
}

void TFormattedXML::LoadXML(std::string_view Text, const std::string& Origin) {
  const pugi::xml_parse_result r =
      load_buffer(Text.data(), Text.size(), pugi::parse_default | pugi::parse_declaration, pugi::encoding_auto);
  if (!r)
    FailRead(Origin, std::string("nội dung không phải là XML hợp lệ (") + ParseFailureText(r.status) + ", vị trí byte " +
                         std::to_string(r.offset) + ")");
}

void TFormattedXML::LoadFromFile(const std::string& FileName) { LoadXML(ReadWholeFile(FileName), FileOrigin(FileName)); }

void TFormattedXML::SaveToFile(const std::string& FileName) { ReplaceFile(FileName, XML()); }

void TFormattedXML::ReplaceFile(const std::string& FileName, std::string_view Bytes) const {
  // Replace what a link points to, not the link.
  std::error_code ec;
  fs::path target = FileName;
  if (fs::is_symlink(target, ec)) target = fs::weakly_canonical(target, ec);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  // A crash between mkstemp and rename leaves the temporary behind; the
  // next save of the same file clears what earlier ones left.
  const std::string name = target.filename().string();
  RemoveStaleTemporaries(folder.string(), [&name](std::string_view Entry) { return IsSaveTemporaryOf(Entry, name); });
  std::string temp = (folder / SaveTemporaryTemplate(name)).string();
  UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd.Valid()) FailErrno("Không lưu được file", FileName, errno);
  // Until the rename succeeds the temporary file is ours to remove.
  struct TempGuard {
    std::string Path;
    bool Armed = true;
    ~TempGuard() {
      if (Armed) ::unlink(Path.c_str());
    }
  } guard{temp};

  struct stat existing {};
  mode_t mode = 0666 & ~platform::CurrentUmask();
  if (FilePermissions)
    mode = static_cast<mode_t>(*FilePermissions) & 07777;
  else if (::stat(target.c_str(), &existing) == 0)
    mode = existing.st_mode & 07777;
  if (::fchmod(fd.Get(), mode) != 0) FailErrno("Không lưu được file", FileName, errno);
  WriteAll(fd.Get(), Bytes, FileName);
  // fsync reports what a delayed write-back would otherwise lose, before
  // the new file takes the old one's place.
  if (::fsync(fd.Get()) != 0) FailErrno("Không lưu được file", FileName, errno);
  fd.Reset();
  if (::rename(temp.c_str(), target.c_str()) != 0) FailErrno("Không lưu được file", FileName, errno);
  guard.Armed = false;
  // The rename itself lives in the folder: sync it too, so that a power
  // cut cannot bring back the old file or neither. The new file is in
  // place by now, so a failure here is not worth failing the save over.
  if (const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dir.Valid()) ::fsync(dir.Get());
}

void TCompressedXML::LoadFromFile(const std::string& FileName) {
  if (IsPlainXMLFileName(FileName)) return TFormattedXML::LoadFromFile(FileName);
  LoadFromBytes(ReadWholeFile(FileName), FileOrigin(FileName));
}

void TCompressedXML::SaveToFile(const std::string& FileName) {
  if (IsPlainXMLFileName(FileName)) return TFormattedXML::SaveToFile(FileName);
  ReplaceFile(FileName, SaveToBytes());
}

void TCompressedXML::LoadFromBytes(std::string_view Bytes, const std::string& Origin) {
  LoadXML(Inflate(Bytes, Origin), Origin);
}

std::string TCompressedXML::SaveToBytes() { return Deflate(XML()); }

void TCompressedXML::LoadFromStream(std::istream& Stream) {
  std::string data{std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>()};
  if (Stream.bad()) FailRead(kStreamOrigin, "lỗi khi đọc");
  LoadFromBytes(data, kStreamOrigin);
}

void TCompressedXML::SaveToStream(std::ostream& Stream) {
  const std::string bytes = SaveToBytes();
  Stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Stream.flush();
  if (!Stream) throw EXMLError(std::string("Không ghi được ") + kStreamOrigin);
}

}  // namespace velkor
