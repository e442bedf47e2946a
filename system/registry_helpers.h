// The registry helpers through which the installer writes all its values and
// reads the strings it needs. On 64-bit Windows they open keys in the 64-bit
// view, so the product key is the one a 64-bit agent sees. None of them logs.
#pragma once

#include <string>

#include "platform/win_types.h"

// The product key and its values.
inline const wchar_t* const kProductKey = L"Software\\Korvanta\\Brimvale";
inline const wchar_t* const kServiceInfoValue = L"ServiceInfo";
inline const wchar_t* const kMqttInfoValue = L"MqttInfo";
inline const wchar_t* const kVersionValue = L"Version";
inline const wchar_t* const kWebVersionValue = L"WebVersion";
// The same key as the rollback names it: its parent, in the rollback's own
// spelling, and the subkey deleted below that parent.
inline const wchar_t* const kProductKeyParent = L"SOFTWARE\\Korvanta";
inline const wchar_t* const kProductKeyLeaf = L"Brimvale";

// Creates or opens the subkey under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER
// and writes the text as REG_SZ of 2 × length bytes, no terminator. True when
// the key could be created or opened; the value write itself is not looked at.
bool RegWriteString(win::HKEY root, std::wstring subKey, std::wstring valueName, std::wstring text);
// REG_DWORD under HKEY_LOCAL_MACHINE; true when the key could be created or opened.
bool RegWriteDword(win::DWORD value, std::wstring subKey, std::wstring valueName);
// HKEY_LOCAL_MACHINE only. On success `text` is the value's data up to its
// first NUL (or all of it); on failure `text` is left as it was.
bool RegReadString(std::wstring subKey, std::wstring valueName, std::wstring* text);
// The same under HKEY_CURRENT_USER of the calling thread (no view rule: the
// user hive has no WOW64 view of its own).
bool RegReadUserString(std::wstring subKey, std::wstring valueName, std::wstring* text);
// The product version, empty when the value is missing.
std::wstring ReadInstalledVersion();
