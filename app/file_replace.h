// Whole-file replacement and attribute changes for the boot files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

// Replaces the file at `path` with exactly `bytes`. The bytes go to a new
// file in the same folder first, which is moved over `path` only once it
// is complete, so a failure never leaves a half-written file: `path` then
// keeps its old content (or stays absent). True on success.
bool ReplaceFileContents(const std::u16string& path, std::string_view bytes);

// Sets the attributes of `path`; 0 makes it a normal file. True on success.
bool SetAttributes(const std::u16string& path, std::uint32_t attributes);

}  // namespace orvane
