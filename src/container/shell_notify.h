// Telling the shell about every file we create, delete, move or change in
// attributes, so that open folder windows show the change at once.
#pragma once

void NotifyCreated(const wchar_t* path);
void NotifyDeleted(const wchar_t* path);
void NotifyAttributesChanged(const wchar_t* path);
void NotifyMoved(const wchar_t* from, const wchar_t* to);
