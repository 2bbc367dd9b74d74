#pragma once

#include "core/Reader.h"

#include <memory>
#include <string>
#include <utility>

namespace hv {

// A resource root (no trailing separator) from which named files are read whole.
struct PathProvider {
    std::string root;

    explicit PathProvider(std::string r) : root(std::move(r)) {}

    static std::shared_ptr<PathProvider> child(const PathProvider& parent, const std::string& name);
};

// Null when the file cannot be opened or read whole; an empty file gives an empty blob.
Blob getBlobAtPath(const std::string& path);
Blob getBlobFromProvider(const PathProvider& provider, const std::string& name);
std::pair<std::string, bool> getStringFromProvider(const PathProvider& provider, const std::string& name);
std::pair<std::string, bool> getStringAtPath(const std::string& path);

// Writes through a temporary file in the same directory and renames it over the target,
// so a failed save leaves the previous file intact.
bool writeStringToPath(const std::string& data, const std::string& path);

} // namespace hv
