// Shortcut files through the shell's link object (IShellLinkW, saved with
// IPersistFile).
#include "ui/windows/windows_headers.h"

#include <objidl.h>
#include <shlobj.h>

#include "app/shortcuts.h"

win::HRESULT CreateShellLink(const std::wstring& target, const std::wstring& linkFile, const std::wstring& description) {
  const HRESULT initialised = ::CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  HRESULT result = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                      reinterpret_cast<void**>(&link));
  if (FAILED(result) || link == nullptr) {
    if (SUCCEEDED(initialised)) ::CoUninitialize();
    return E_FAIL;
  }
  link->SetPath(target.c_str());
  link->SetDescription(description.c_str());
  link->SetArguments(L"");
  IPersistFile* file = nullptr;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (FAILED(result) || file == nullptr) {
    link->Release();
    if (SUCCEEDED(initialised)) ::CoUninitialize();
    return E_FAIL;
  }
  result = file->Save(linkFile.c_str(), TRUE);
  file->Release();
  link->Release();
  if (SUCCEEDED(initialised)) ::CoUninitialize();
  return result;
}
