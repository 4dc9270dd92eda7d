// Text for JSON output: file names are bytes, JSON strings are Unicode.
#pragma once

#include <string>

// bytes as a JSON string literal, quotes included: valid UTF-8 is kept,
// quotes, backslashes and control characters are escaped, and each byte
// that is not part of valid UTF-8 becomes U+FFFD, so the output always
// parses.
[[nodiscard]] std::string JsonString(const std::string& bytes);
