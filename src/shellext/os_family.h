// The two answers about the running system that change where the extension
// looks: the OS family and the caller's administrator rights.
#pragma once

// GetVersionExW succeeds and reports platform id 2 with a major version of
// exactly 6. The NT 6 family keeps the program's state per user (HKCU, the
// user's folders); older systems keep it per machine.
[[nodiscard]] bool IsNt6Family();

// The shell's IsUserAnAdmin for the calling process; false when the shell
// does not offer it.
[[nodiscard]] bool CallerIsAdministrator();
