// Texts and names of the wizard that are not in the string table: the font
// family of every page, the window title, the painted shortcut question and
// what a screen reader calls the controls without a caption.
#pragma once

#include <string>

// "맑은 고딕": the font family of every text of the wizard.
inline const std::wstring kKoreanFamilyName = L"\ub9d1\uc740 \uace0\ub515";
// "브림베일 설치 프로그램": the window text shown on the taskbar button.
inline const std::wstring kWindowTitle = L"\ube0c\ub9bc\ubca0\uc77c \uc124\uce58 \ud504\ub85c\uadf8\ub7a8";
// "바탕화면에 바로가기를 만드시겠습니까?"
inline const std::wstring kShortcutQuestion =
    L"\ubc14\ud0d5\ud654\uba74\uc5d0 \ubc14\ub85c\uac00\uae30\ub97c \ub9cc\ub4dc\uc2dc\uaca0\uc2b5\ub2c8\uae4c?";
// "설치 프로그램 닫기" (close the installer): the close button's accessible name.
inline const std::wstring kCloseAccessibleName = L"\uc124\uce58 \ud504\ub85c\uadf8\ub7a8 \ub2eb\uae30";
// "설치 및 이용 약관" (the installation and terms-of-use agreement).
inline const std::wstring kLicenceAccessibleName = L"\uc124\uce58 \ubc0f \uc774\uc6a9 \uc57d\uad00";
// "설치 진행 목록" (installation steps): the progress list's accessible name.
inline const std::wstring kStepsAccessibleName = L"\uc124\uce58 \uc9c4\ud589 \ubaa9\ub85d";
// "설치 진행률" (installation progress): the bar's accessible name.
inline const std::wstring kProgressAccessibleName = L"\uc124\uce58 \uc9c4\ud589\ub960";
