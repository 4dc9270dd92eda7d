#include "app/shell_registration.h"

// Placeholder until the shell registration lands.
int RegisterShellExtension() { return 1; }
int UnregisterShellExtension() { return 1; }
int RegisterFileType() { return 1; }
int UnregisterFileType() { return 1; }
