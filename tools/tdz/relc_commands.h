// The encode and decode commands: raw relc streams between files or the
// standard streams ("-"). Each returns the process exit status and has
// reported any failure on stderr.
#pragma once

#include <string>

[[nodiscard]] int RunEncodeCommand(const std::string& inPath, const std::string& outPath);
[[nodiscard]] int RunDecodeCommand(const std::string& inPath, const std::string& outPath);
