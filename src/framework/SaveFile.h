#pragma once
// Saving a whole file so that a failed save keeps the previous file byte for byte.

#include <optional>
#include <string>
#include <string_view>

// Writes bytes under a temporary name beside path and renames it over path only when every byte
// was written. Returns the system's reason ("No space left on device") when it was not.
std::optional<std::string> SaveFileWhole(const std::string& path, std::string_view bytes);
