// Shell link (.lnk) files: a link to a local program with a description and
// arguments, written in the documented shell link binary format (header,
// link info with the volume and local base path, the description as the
// name string, Unicode strings).
#pragma once

#include <string>

#include "platform/win_types.h"

namespace win {
using HRESULT = std::int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005);
}  // namespace win

// The shell link object's part that the installer uses: path, description,
// arguments, and saving to a file.
class ShellLink {
 public:
  win::HRESULT SetPath(const std::wstring& path);
  win::HRESULT SetDescription(const std::wstring& description);
  win::HRESULT SetArguments(const std::wstring& arguments);
  // Writes the link to the Windows path `file`, replacing a file of that name.
  win::HRESULT Save(const std::wstring& file, bool remember) const;

  // The file's bytes for the link as it stands.
  std::string Serialize() const;

 private:
  std::wstring m_path;
  std::wstring m_description;
  std::wstring m_arguments;
};
