// The shell integration's registry entries, written while the tray program
// runs: the shell extension's class, its approval and context-menu handler,
// and the .tdz file type with its open command.
#pragma once

// 1 on success.
int RegisterShellExtension();
int UnregisterShellExtension();
int RegisterFileType();
int UnregisterFileType();
