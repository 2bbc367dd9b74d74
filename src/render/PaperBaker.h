#pragma once

#include <iosfwd>
#include <string>

namespace hv {

// Generates the paper texture from ASSETS/story/paper.txt and writes it as the cache file
// that the host reads from ASSETS/blobs instead of generating it at start-up. The file is
// written under a temporary name and renamed, so a failed run never leaves half a cache. A
// failure gives one line on `errors` and false; an existing cache file is then left as it was.
bool bakePaperCache(const std::string& assetsDirectory, std::ostream& errors);

} // namespace hv
