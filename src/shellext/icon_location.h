// Where the icon of a container file is: the default icon of the file type
// that the container's name carries before ".tdz".
#pragma once

#include <windows.h>

// The stored extension of a container path: from the last "." before the
// final four characters up to them ("report.doc.tdz" gives ".doc"). The
// final four characters are taken to be ".tdz" without looking. False when
// there is no such "." or the text would hold a path separator (a dot in a
// folder name is no extension).
[[nodiscard]] bool StoredExtensionOf(const wchar_t* containerPath, wchar_t (&extension)[MAX_PATH]);

// Splits a default-icon entry "path,index" in place at its last comma and
// returns the index (0 when there is no comma or no number after it).
int SplitIconIndex(wchar_t* iconEntry);

// Removes one pair of enclosing double quotes, in place.
void StripEnclosingQuotes(wchar_t* text);

// Follows HKCR\<stored extension> to its ProgID and HKCR\<ProgID>\DefaultIcon
// to the default-icon entry; REG_EXPAND_SZ is expanded. S_OK with iconFile
// (cchMax units) and index filled; S_FALSE when any step fails or the
// location does not fit iconFile (a cut path would name another file).
HRESULT ContainerIconLocation(const wchar_t* containerPath, wchar_t* iconFile, UINT cchMax, int* index);
