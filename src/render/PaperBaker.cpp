#include "render/PaperBaker.h"

#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "render/PaperTexture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace hv {

namespace fs = std::filesystem;

bool bakePaperCache(const std::string& assetsDirectory, std::ostream& errors) {
    const std::string paperText = joinPath(joinPath(assetsDirectory, "story"), "paper.txt");
    const std::string blobs = joinPath(assetsDirectory, "blobs");
    std::error_code error;
    // Reading the parameters ends the process on a file it cannot read, which is the host's
    // rule; the tool tries the read first, names the file and goes on.
    std::string text, why;
    if (!readWholeFile(paperText, text, why)) {
        errors << "halvane-bake: paper.txt: cannot read the file: " << why << std::endl;
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
    if (!replaceFile(path, [&](FILE* file) { return texture->writeTo(file); })) {
        errors << "halvane-bake: paper.txt: cannot write " << path << ": " << std::strerror(errno) << std::endl;
        return false;
    }
    return true;
}

} // namespace hv
