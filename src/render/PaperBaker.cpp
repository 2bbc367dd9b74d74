#include "render/PaperBaker.h"

#include "core/ResourcePaths.h"
#include "render/PaperTexture.h"

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <system_error>

#include <unistd.h>

namespace hv {

namespace {

namespace fs = std::filesystem;

// Writes the texture's record to `path` through a temporary file in the same directory.
bool writeCacheFile(const PaperTexture& texture, const std::string& path) {
    std::string temporary = path + ".tmp-" + std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool ok = texture.writeTo(file);
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

} // namespace

bool bakePaperCache(const std::string& assetsDirectory, std::ostream& errors) {
    const std::string paperText = joinPath(joinPath(assetsDirectory, "story"), "paper.txt");
    const std::string blobs = joinPath(assetsDirectory, "blobs");
    std::error_code error;
    // Reading the parameters ends the process on a missing file, which is the host's rule;
    // the tool names the file and goes on.
    if (!fs::is_regular_file(paperText, error)) {
        errors << "halvane-bake: paper.txt: cannot read the file" << std::endl;
        return false;
    }
    PaperParams params;
    if (!params.readFrom(paperText)) {
        errors << "halvane-bake: paper.txt: the paper parameters are not usable" << std::endl;
        return false;
    }
    fs::create_directories(blobs, error);
    if (error) {
        errors << "halvane-bake: " << blobs << ": cannot create the directory: " << error.message() << std::endl;
        return false;
    }
    std::shared_ptr<PaperTexture> texture = generatePaperTexture(params);
    const std::string path = paperCachePath(blobs);
    if (!writeCacheFile(*texture, path)) {
        errors << "halvane-bake: paper.txt: cannot write " << path << std::endl;
        return false;
    }
    return true;
}

} // namespace hv
