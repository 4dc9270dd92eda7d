// The texts of the tray icon: its tip and its balloons, built from drive
// lists and cut to the room the icon record gives them.
#pragma once

#include <string>

constexpr size_t kTrayTipUnits = 63;     // characters of the tip
constexpr size_t kBalloonTextUnits = 255;
constexpr size_t kBalloonTitleUnits = 63;

// "(E:, F:)" from a multi-string of drive names; under a right-to-left
// language only each name's letter: "(E, F)".
std::wstring JoinDriveNames(const wchar_t* names, bool rightToLeft);

// The tip: "<auto-compression title> (E:, F:)" when drives are listed,
// else the program title (administrator's form when elevated).
std::wstring TrayTipText(const wchar_t* autoDrives, bool rightToLeft, bool administrator);

// text cut to at most units UTF-16 units, never inside a surrogate pair.
std::wstring CutText(const std::wstring& text, size_t units);
