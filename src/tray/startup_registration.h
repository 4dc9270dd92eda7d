// Start-up registration: the shortcut in the user's start-up folder and,
// on the NT 6 family, the machine-wide icon-overlay identifier that only an
// administrator may write, plus the elevated restart that hands the second
// half to an administrator's copy of the program.
#pragma once

#include <windows.h>

// The overlay identifier's key below HKEY_LOCAL_MACHINE and the class id
// it names (the shell extension's).
extern const wchar_t kOverlayParentKey[];      // ...\ShellIconOverlayIdentifiers
extern const wchar_t kOverlayIdentifierName[]; // TandrelFile.1
extern const wchar_t kOverlayClassId[];

// "Tandrel.lnk" in the user's start-up folder, the folder created if
// missing. False when the folder is unknown or the path does not fit.
bool GetStartupShortcutPath(wchar_t (&path)[MAX_PATH]);
// What the shortcut starts: the per-user installed program on the NT 6
// family, the unexpanded system-folder path on older systems.
bool GetStartupShortcutTarget(wchar_t (&target)[MAX_PATH]);

// 1 when registered. An administrator on the NT 6 family asks the overlay
// identifier (found in either registry view it is written to); everyone
// else asks the shortcut.
int IsRegisteredForStartup();
// 1 on success: the overlay identifier in every view (administrator on the
// NT 6 family), else the shortcut.
int RegisterForStartup();
// 1 when the registration is gone afterwards: the overlay identifier from
// every view it is written to (administrator on the NT 6 family), else the
// shortcut deleted.
int UnregisterFromStartup();
// A shell link at link that starts target; 1 on success.
int CreateStartupShortcut(const wchar_t* link, const wchar_t* description, const wchar_t* target);

// The overlay identifier's halves, in the program's own registry view and,
// under WOW64, in the 64-bit view as well.
int WriteOverlayIdentifier();
int DeleteOverlayIdentifier();
bool OverlayIdentifierExists();

// Starts this program again with administrator rights ("runas") and the
// switch formatted with this process's id. False when the start failed;
// the flows do not look (the user was told how to restart by hand).
bool StartElevatedCopy(const wchar_t* switchFormat);

// The elevated copy's wait for the instance that started it. That instance
// is known by the single-instance mutex it holds, not by its process id
// alone, which may belong to an unrelated process by the time the
// elevation prompt is answered. True once no process holds mutexName
// (processId 0: at once); false when one still does after timeoutMs.
bool WaitForPredecessor(DWORD processId, const wchar_t* mutexName, DWORD timeoutMs);
