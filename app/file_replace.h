// Whole-file replacement and attribute changes for the boot files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orvane {

// Replaces the file at `path` with exactly `bytes`. The bytes go to a new
// file in the same folder first, which is moved over `path` only once it
// is complete, so a failure never leaves a half-written file: `path` then
// keeps its old content (or stays absent). True on success.
bool ReplaceFileContents(const std::u16string& path, std::string_view bytes);

// The whole content of the file at `path`; nothing when it does not exist
// or cannot be read.
std::optional<std::string> ReadFileContents(const std::u16string& path);

// True when something (a file or a folder) exists at `path`.
bool PathExists(const std::u16string& path);

// Deletes the file at `path`. True on success.
bool DeleteFileAt(const std::u16string& path);

// Sets the attributes of `path`; 0 makes it a normal file. True on success.
bool SetAttributes(const std::u16string& path, std::uint32_t attributes);

}  // namespace orvane
