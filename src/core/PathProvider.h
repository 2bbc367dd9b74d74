#pragma once

#include "core/Reader.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hv {

// A resource root (no trailing separator) from which named files are read whole.
struct PathProvider {
    std::string root;

    explicit PathProvider(std::string r) : root(std::move(r)) {}

    static std::shared_ptr<PathProvider> child(const PathProvider& parent, const std::string& name);
};

// A read-only descriptor of a regular file, with its size when `size` is given, or -1 (errno
// says why; ENODEV for anything that is not a regular file). A FIFO is refused without waiting
// for a writer.
int openRegularFile(const std::string& path, uint64_t* size = nullptr);

// Null when the file cannot be opened or read whole, or is not a regular file (a FIFO is
// refused without waiting for a writer); an empty file gives an empty blob. A file that is
// there but cannot be read whole, one larger than the process could hold among them (errno is
// then EFBIG), is named with one line; nothing is allocated for a file that large.
Blob getBlobAtPath(const std::string& path);
Blob getBlobFromProvider(const PathProvider& provider, const std::string& name);
std::pair<std::string, bool> getStringFromProvider(const PathProvider& provider, const std::string& name);
std::pair<std::string, bool> getStringAtPath(const std::string& path);
// The same read for callers that name the file themselves: false, with nothing written to any
// stream, the reason in `why` ("not a file but a FIFO" for what is no file) and errno as the
// read left it (ENOENT for a file that is not there), when the file cannot be read whole.
bool readWholeFile(const std::string& path, std::string& bytes, std::string& why);

// Writes a whole file through a temporary in the target's directory and renames it over the
// target, so a failed write leaves the previous file intact; the new file keeps the old one's
// permission bits, and the folder is synced after the rename so the swap itself lasts. The
// first write into a folder also removes the temporaries that processes killed midway through
// a write left there. `write` fills the open file and says whether it all went out; nothing is
// reported here, and after a failure errno says why.
bool replaceFile(const std::string& path, const std::function<bool(FILE*)>& write);
// Every regular file below `root` whose name ends in `extension` (compared without case), as
// paths relative to the root joined with '/', sorted. A folder that cannot be listed goes to
// `unlisted` with the reason, and the other folders are still listed; links to folders are
// not followed, so a link cannot make the walk go round. Anything else of such a name (a
// folder, a FIFO, a link to nothing) goes to `notAFile` as a relative path with what it is,
// "not a file but a FIFO"; a folder of such a name is still searched.
std::vector<std::string> findFilesBelow(const std::string& root, const std::string& extension,
                                        const std::function<void(const std::string&, const std::string&)>& unlisted,
                                        const std::function<void(const std::string&, const std::string&)>& notAFile);
// replaceFile with the string's bytes; a failure is reported with one line.
bool writeStringToPath(const std::string& data, const std::string& path);

} // namespace hv
