// CRT streams on Windows paths, from the C runtime the program carries.
#include "platform/files.h"

#include <share.h>
#include <stdio.h>

namespace win {

std::FILE* _wfsopen(const std::wstring& path, const wchar_t* mode, int shareFlag) {
  if (!mode) return nullptr;
  return ::_wfsopen(path.c_str(), mode, shareFlag);
}

std::FILE* _wfopen(const std::wstring& path, const wchar_t* mode) { return _wfsopen(path, mode, _SH_DENYNO); }

int _fseeki64(std::FILE* stream, std::int64_t offset, int origin) { return ::_fseeki64(stream, offset, origin); }

std::int64_t _ftelli64(std::FILE* stream) { return ::_ftelli64(stream); }

}  // namespace win
