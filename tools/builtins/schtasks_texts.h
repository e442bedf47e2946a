// The texts of the schtasks stand-in, in English and Korean, as the real
// tool prints them for a machine of that locale. "%1" stands for the
// argument of a text.
#pragma once

#include <string>

namespace schtasks_texts {

struct Texts {
  const wchar_t* folder;
  const wchar_t* taskName;
  const wchar_t* nextRunTime;
  const wchar_t* status;
  const wchar_t* ready;
  const wchar_t* notApplicable;
  const wchar_t* noTasks;
  const wchar_t* created;
  const wchar_t* deleted;
  const wchar_t* confirmDelete;
  const wchar_t* notFound;
  const wchar_t* alreadyExists;
  const wchar_t* invalidOption;
  const wchar_t* valueExpected;
  const wchar_t* mandatoryMissing;
  const wchar_t* repeated;
  const wchar_t* invalidSchedule;
  const wchar_t* invalidModifier;
  const wchar_t* modifierNotAllowed;
  const wchar_t* unknownAccount;
  const wchar_t* badName;
  const wchar_t* accessDenied;
  const wchar_t* usage;
  const wchar_t* createUsage;
  const wchar_t* deleteUsage;
  const wchar_t* morning;  // the Korean clock's 오전/오후, empty in English
  const wchar_t* afternoon;
};

inline const Texts& English() {
  static const Texts texts = {
      L"Folder: \\",
      L"TaskName",
      L"Next Run Time",
      L"Status",
      L"Ready",
      L"N/A",
      L"INFO: There are no scheduled tasks presently available at your access level.",
      L"SUCCESS: The scheduled task \"%1\" has successfully been created.",
      L"SUCCESS: The scheduled task \"%1\" was successfully deleted.",
      L"WARNING: Are you sure you want to remove the task \"%1\" (Y/N)? ",
      L"ERROR: The system cannot find the file specified.",
      L"ERROR: Cannot create a file when that file already exists.",
      L"ERROR: Invalid argument/option - '%1'.",
      L"ERROR: Invalid syntax. Value expected for '%1'.",
      L"ERROR: Invalid syntax. Mandatory option '%1' is missing.",
      L"ERROR: Invalid syntax. '%1' option is not allowed more than '1' time(s).",
      L"ERROR: Invalid Schedule Type specified.",
      L"ERROR: Invalid value for /MO option.",
      L"ERROR: Invalid syntax. /MO option is not allowed for ONSTART schedule type.",
      L"ERROR: No mapping between account names and security IDs was done.",
      L"ERROR: The filename, directory name, or volume label syntax is incorrect.",
      L"ERROR: Access is denied.",
      L"Type \"SCHTASKS /?\" for usage.",
      L"Type \"SCHTASKS /CREATE /?\" for usage.",
      L"Type \"SCHTASKS /DELETE /?\" for usage.",
      L"AM",
      L"PM",
  };
  return texts;
}

inline const Texts& Korean() {
  static const Texts texts = {
      L"\ud3f4\ub354: \\",                                      // 폴더: \.
      L"\uc791\uc5c5 \uc774\ub984",                             // 작업 이름
      L"\ub2e4\uc74c \uc2e4\ud589 \uc2dc\uac04",                // 다음 실행 시간
      L"\uc0c1\ud0dc",                                          // 상태
      L"\uc900\ube44",                                          // 준비
      L"N/A",
      L"\uc815\ubcf4: \ud604\uc7ac \uc561\uc138\uc2a4 \uc218\uc900\uc5d0\uc11c \uc0ac\uc6a9\ud560 \uc218 \uc788\ub294 "
      L"\uc608\uc57d\ub41c \uc791\uc5c5\uc774 \uc5c6\uc2b5\ub2c8\ub2e4.",
      L"\uc131\uacf5: \uc608\uc57d\ub41c \uc791\uc5c5 \"%1\"\uc744(\ub97c) \ub9cc\ub4e4\uc5c8\uc2b5\ub2c8\ub2e4.",
      L"\uc131\uacf5: \uc608\uc57d\ub41c \uc791\uc5c5 \"%1\"\uc744(\ub97c) \uc0ad\uc81c\ud588\uc2b5\ub2c8\ub2e4.",
      L"\uacbd\uace0: \"%1\" \uc791\uc5c5\uc744 \uc81c\uac70\ud558\uc2dc\uaca0\uc2b5\ub2c8\uae4c(Y/N)? ",
      L"\uc624\ub958: \uc9c0\uc815\ub41c \ud30c\uc77c\uc744 \ucc3e\uc744 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \ud30c\uc77c\uc774 \uc774\ubbf8 \uc788\uc73c\ubbc0\ub85c \ub9cc\ub4e4 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \uc778\uc218/\uc635\uc158\uc774 \uc798\ubabb\ub418\uc5c8\uc2b5\ub2c8\ub2e4 - '%1'.",
      L"\uc624\ub958: \uc798\ubabb\ub41c \uad6c\ubb38\uc785\ub2c8\ub2e4. '%1'\uc5d0 \ub300\ud55c \uac12\uc774 "
      L"\ud544\uc694\ud569\ub2c8\ub2e4.",
      L"\uc624\ub958: \uc798\ubabb\ub41c \uad6c\ubb38\uc785\ub2c8\ub2e4. \ud544\uc218 \uc635\uc158 '%1'\uc774(\uac00) "
      L"\uc5c6\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \uc798\ubabb\ub41c \uad6c\ubb38\uc785\ub2c8\ub2e4. '%1' \uc635\uc158\uc740 '1'\ubc88\uc744 \ub118\uac8c "
      L"\uc0ac\uc6a9\ud560 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \uc798\ubabb\ub41c \uc77c\uc815 \uc720\ud615\uc744 \uc9c0\uc815\ud588\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: /MO \uc635\uc158\uc758 \uac12\uc774 \uc798\ubabb\ub418\uc5c8\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \uc798\ubabb\ub41c \uad6c\ubb38\uc785\ub2c8\ub2e4. ONSTART \uc77c\uc815 \uc720\ud615\uc5d0\ub294 /MO "
      L"\uc635\uc158\uc744 \uc0ac\uc6a9\ud560 \uc218 \uc5c6\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \uacc4\uc815 \uc774\ub984\uacfc \ubcf4\uc548 ID \uac04\uc758 \ub9e4\ud551\uc774 "
      L"\uc218\ud589\ub418\uc9c0 \uc54a\uc558\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \ud30c\uc77c \uc774\ub984, \ub514\ub809\ud130\ub9ac \uc774\ub984 \ub610\ub294 \ubcfc\ub968 "
      L"\ub808\uc774\ube14 \uad6c\ubb38\uc774 \uc798\ubabb\ub418\uc5c8\uc2b5\ub2c8\ub2e4.",
      L"\uc624\ub958: \uc561\uc138\uc2a4\uac00 \uac70\ubd80\ub418\uc5c8\uc2b5\ub2c8\ub2e4.",
      L"\"SCHTASKS /?\"\ub97c \uc785\ub825\ud558\uc5ec \uc0ac\uc6a9\ubc95\uc744 \ud655\uc778\ud558\uc2ed\uc2dc\uc624.",
      L"\"SCHTASKS /CREATE /?\"\ub97c \uc785\ub825\ud558\uc5ec \uc0ac\uc6a9\ubc95\uc744 \ud655\uc778\ud558\uc2ed\uc2dc\uc624.",
      L"\"SCHTASKS /DELETE /?\"\ub97c \uc785\ub825\ud558\uc5ec \uc0ac\uc6a9\ubc95\uc744 \ud655\uc778\ud558\uc2ed\uc2dc\uc624.",
      L"\uc624\uc804",  // 오전
      L"\uc624\ud6c4",  // 오후
  };
  return texts;
}

// A text with "%1" replaced.
inline std::wstring With(const wchar_t* text, const std::wstring& argument) {
  std::wstring out = text;
  std::size_t at = out.find(L"%1");
  if (at != std::wstring::npos) out.replace(at, 2, argument);
  return out;
}

}  // namespace schtasks_texts
