// The one eligibility rule the shell extension needs: whether a name is that
// of a container file.
#pragma once

// True when name ends with ".tdz" in any letter case. The same answer as
// "the extension of the last path component is .tdz", since ".tdz" itself
// holds no dot after its first, no blank and no separator.
[[nodiscard]] bool HasContainerExtension(const wchar_t* name);
