// Whether a selected file lies on a target drive: the tray program lists the
// target drives in the volatile value CurrentDrive, which the extension reads
// once per selection.
#pragma once

#include <cstddef>

// The drive part of path: its first two characters when the second one is a
// colon ("E:"), otherwise empty (a UNC path has none).
void DrivePartOf(const wchar_t* path, wchar_t (&drive)[3]);

// Whether the NUL-separated list, units long, holds drive (ignoring case)
// before its first empty entry. Never reads past units, so a value stored
// without its terminators is safe.
[[nodiscard]] bool DriveListHolds(const wchar_t* list, size_t units, const wchar_t* drive);

// Reads CurrentDrive of "SOFTWARE\Velmora Corporation\Tandrel" under HKCU on
// the NT 6 family, HKLM otherwise, and looks for drive in it. False when the
// key or the value is missing or the value is larger than 128 units.
[[nodiscard]] bool IsTargetDrive(const wchar_t* drive, bool nt6Family);
