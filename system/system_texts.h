// The debug lines of the system layer, byte for byte: the protection driver's
// controller, the service control wrapper, the verification of downloaded
// components and the in-house utility library. Each line is spelt out whole,
// so that a line read in a debugger's output is found here as it stands;
// lines with a value are built by the functions below, whose error codes are
// the platform's last error.
#pragma once

#include <string>

#include "platform/win_types.h"
#include "system/debug_log.h"

namespace system_texts {

// The protection driver's controller and service entry.
constexpr const wchar_t* kCannotOpenDriver = L"[Brimvale] kvppobcontroller : Cannot Open kvppob Driver";
inline std::wstring SetRegProtectOnFail(win::DWORD error) {
  return L"[Brimvale] kvppobcontroller : SetRegProtectON Fail Error : " + ErrorNumber(error);
}
inline std::wstring SetRegProtectOffFail(win::DWORD error) {
  return L"[Brimvale] kvppobcontroller : SetRegProtectOFF Fail Error : " + ErrorNumber(error);
}
// "CServiceControlManager 오픈 실패" (could not open).
constexpr const wchar_t* kDriverInstallManagerFail =
    L"[Brimvale] kvppobcontroller : CServiceControlManager \uc624\ud508 \uc2e4\ud328";
// "DIVirizudIrudevi 드라이버 인스톨 실패 <error>" (driver installation failed).
inline std::wstring DriverInstallFail(win::DWORD error) {
  return L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc2e4\ud328 " +
         ErrorNumber(error);
}
// "DIVirizudIrudevi 드라이버 인스톨 성공" (driver installed).
constexpr const wchar_t* kDriverInstalled =
    L"[Brimvale] kvppobcontroller : DIVirizudIrudevi \ub4dc\ub77c\uc774\ubc84 \uc778\uc2a4\ud1a8 \uc131\uacf5";
constexpr const wchar_t* kDriverDeleteManagerFail =
    L"[Brimvale] kvppobcontroller : DriverDelete CServiceControlManager Open Fail";

// The service control wrapper and the agent service.
constexpr const wchar_t* kServiceStartFail = L"The attempt to start service failed due to error";
constexpr const wchar_t* kServiceStartTimeout = L"Driver failed to start...";
constexpr const wchar_t* kServiceStopFail = L"The attempt to stop service failed due to error";
constexpr const wchar_t* kServiceStopTimeout = L"Driver failed to stop...";
constexpr const wchar_t* kStartAgentFail = L"[brimvale] StartAgent Fail";

// The verification of a downloaded component (under the updater's tag).
inline std::wstring DigestFail(const std::wstring& fileName) {
  return L"[Brimvale] bvludt : FildHash Fail - " + fileName;
}
inline std::wstring ArchitectureFail(const std::wstring& fileName) {
  return L"[Brimvale] bvludt : Architecture Fail - " + fileName;
}
inline std::wstring CodeSignFail(const std::wstring& fileName) {
  return L"[Brimvale] bvludt : Verify File Fail [CodeSign Error] - " + fileName;
}
inline std::wstring SignatureCloseFail(win::DWORD error) {
  return L"[Brimvale] bvludt : Digital Sign Error - Action Close Fail : " + ErrorNumber(error);
}
inline std::wstring SignatureVerifyFail(win::DWORD error) {
  return L"[Brimvale] bvludt : Digital Sign Error - Verify Fail : " + ErrorNumber(error);
}
inline std::wstring IssuerLengthFail(win::DWORD error) {
  return L"[Brimvale] bvludt : Digital Sign Error - Check CertName Length : " + ErrorNumber(error);
}
inline std::wstring IssuerNameFail(win::DWORD error) {
  return L"[Brimvale] bvludt : Digital Sign Error - Fail Get Name Issuer String: " + ErrorNumber(error);
}

// The in-house utility library: a routine that failed, with the number of
// the step that failed where it has one.
inline std::wstring RoutineFail(const std::wstring& routine) { return routine + L" routine some error occurred."; }
inline std::wstring RoutineFail(const std::wstring& routine, win::DWORD step) {
  return routine + L" routine some error occurred. ErrorCode(" + ErrorNumber(step) + L")";
}

}  // namespace system_texts
