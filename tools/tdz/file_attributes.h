// Names for the attribute bits a container keeps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// "read-only", "archive" ... for each known bit set, in bit order.
[[nodiscard]] std::vector<std::string> AttributeNames(uint32_t attributes);

// One letter per known bit set (R H S D A N T O I), "-" for none: a column
// of a listing.
[[nodiscard]] std::string AttributeLetters(uint32_t attributes);
