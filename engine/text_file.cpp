// Text files of the version manifests: read through a read-only mapping and
// split into lines and fields.
#include "engine/text_file.h"

#include <cstring>
#include <string_view>

#include "engine/engine_texts.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "system/debug_log.h"
#include "system/kv_system.h"

namespace {

constexpr std::string_view kUtf8ByteOrderMark("\xEF\xBB\xBF", 3);

}  // namespace

std::wstring ReadTextFile(const std::wstring& path) {
  win::HANDLE file = win::CreateFileW(path, win::GENERIC_READ, win::FILE_SHARE_READ, nullptr, win::OPEN_EXISTING,
                                      win::FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == win::INVALID_HANDLE_VALUE) {
    LogDebugLine(engine_texts::kVersionFileOpenFail);
    return std::wstring();
  }
  // An empty file cannot be mapped, so it ends here too.
  win::HANDLE mapping = win::CreateFileMappingW(file, nullptr, win::PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) {
    LogDebugLine(engine_texts::kVersionFileMappingFail);
    win::CloseHandle(file);
    return std::wstring();
  }
  const void* view = win::MapViewOfFile(mapping, win::FILE_MAP_READ, 0, 0, 0);
  // The text ends with the view: the file may have grown since the mapping
  // was made, and its size now would run past the mapped bytes. The view's
  // last page is zero-filled behind the file's end, so the NUL search stops
  // there for a file that is not a whole number of pages.
  win::MEMORY_BASIC_INFORMATION region;
  if (view != nullptr && win::VirtualQuery(view, &region, sizeof region) == 0) {
    win::UnmapViewOfFile(view);
    view = nullptr;
  }
  if (view == nullptr) {
    LogDebugLine(engine_texts::kVersionFileViewFail);
    win::CloseHandle(mapping);
    win::CloseHandle(file);
    return std::wstring();
  }

  const std::size_t size = region.RegionSize;
  const char* bytes = static_cast<const char*>(view);
  const void* nul = std::memchr(bytes, '\0', size);
  const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - bytes) : size;
  // Editors such as Notepad save text as UTF-8 with a byte-order mark in
  // front. The mark is no text of the file, and it says that the file is
  // UTF-8: read through the ANSI code page it would become part of the first
  // line.
  std::string_view content(bytes, length);
  const bool utf8 = content.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark;
  if (utf8) content.remove_prefix(kUtf8ByteOrderMark.size());
  std::wstring text = kvutil::KVSystem::ConvertToWide(std::string(content), utf8 ? win::CP_UTF8 : win::CP_ACP);

  win::UnmapViewOfFile(view);
  win::CloseHandle(mapping);
  win::CloseHandle(file);
  return text;
}

std::vector<std::wstring> SplitText(const std::wstring& text, const std::wstring& delimiter) {
  std::vector<std::wstring> pieces;
  ForEachPiece(text, delimiter, [&pieces](std::wstring_view piece) {
    pieces.emplace_back(piece);
    return true;
  });
  return pieces;
}

bool ForEachPiece(std::wstring_view text, std::wstring_view delimiter,
                  const std::function<bool(std::wstring_view piece)>& visit) {
  if (delimiter.empty()) return text.empty() || visit(text);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(delimiter, start);
    if (end == std::wstring_view::npos) end = text.size();
    if (end > start && !visit(text.substr(start, end - start))) return false;
    start = end + delimiter.size();
  }
  return true;
}
