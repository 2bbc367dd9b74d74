#include "svg/SvgBaker.h"

#include "core/PathProvider.h"
#include "core/ResourcePaths.h"
#include "picture/ContourResolution.h"
#include "svg/RawSvgCache.h"
#include "svg/ShapeMesh.h"
#include "svg/SvgManager.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <ostream>
#include <vector>

namespace hv {

namespace {

namespace fs = std::filesystem;

// The SVG files below the story directory, as the paths a script passes (relative, '/'). A
// folder that cannot be listed, or something of an SVG file's name that is no file, is named
// and counted as a failure, not left as a silent gap in the book's caches.
std::vector<std::string> findSvgFiles(const std::string& story, std::ostream& errors, size_t& failed) {
    return findFilesBelow(
        story, ".svg",
        [&](const std::string& folder, const std::string& why) {
            errors << "halvane-bake: " << folder << ": cannot list the directory: " << why << std::endl;
            ++failed;
        },
        [&](const std::string& path, const std::string& what) {
            errors << "halvane-bake: " << path << ": " << what << std::endl;
            ++failed;
        });
}

// The whole file in memory first, so a failed write never leaves half a cache behind.
bool serialise(const RawSvgFile& file, std::string& bytes) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&buffer, &size);
    if (!stream) return false;
    bool ok = writeRawSvgFile(stream, file);
    ok = std::fclose(stream) == 0 && ok;
    if (ok) bytes.assign(buffer, size);
    std::free(buffer);
    return ok;
}

// Why a cache file was not written, from errno after the failed write.
std::string cannotWrite(const std::string& cachePath) {
    int error = errno;
    std::string why = "cannot write " + cachePath + ": " + std::strerror(error);
    if (error == ENAMETOOLONG) {
        why += " (the cache file's name spells out the picture's path, two characters for each byte, so that path "
               "must stay within about 120 bytes)";
    }
    return why;
}

// Empty on success, else why the file was not baked. `partly` tells whether a shape's mesh
// lacks some of its outline.
std::string bakeOne(const std::string& story, const std::string& blobs, const std::string& path, std::ostream& errors,
                    bool& partly) {
    partly = false;
    std::string text, why;
    if (!readWholeFile(joinPath(story, path), text, why)) return "cannot read the file: " + why;
    auto file = convertSvgText(std::move(text), path, &why);
    if (!file) return why;
    for (RawSvgShape& shape : file->shapes) {
        std::string flat = flatShapeWarning(shape);
        if (!flat.empty()) errors << "halvane-bake: " << path << ": warning: " << flat << std::endl;
        ContourCount contours;
        bool complete = buildShapeMeshCache(shape, bakeCurveTolerance, &contours);
        if (contours.refused) {
            errors << "halvane-bake: " << path << ": shape " << shape.name << ": more than " << maxResolvedCrossings
                   << " crossings, too many to resolve" << std::endl;
            partly = true;
        } else if (!complete) {
            errors << "halvane-bake: " << path << ": warning: shape '" << shape.name
                   << "' was only partly triangulated" << std::endl;
            partly = true;
        }
        if (contours.dropped > 0) {
            errors << "halvane-bake: " << path << ": shape " << shape.name << ": " << contours.dropped << " of "
                   << contours.total << " contours dropped (they cross)" << std::endl;
            partly = true;
        }
        if (contours.leftOut > 0) {
            errors << "halvane-bake: " << path << ": shape " << shape.name << ": " << contours.leftOut << " of "
                   << contours.total << " contours left out (holes touching their outer ring)" << std::endl;
            partly = true;
        }
    }
    std::string bytes;
    if (!serialise(*file, bytes)) return "cannot build the cache file";
    std::string cachePath = svgCachePath(blobs, path);
    if (!replaceFile(cachePath, [&](FILE* out) { return std::fwrite(bytes.data(), bytes.size(), 1, out) == 1; })) {
        return cannotWrite(cachePath);
    }
    return "";
}

} // namespace

BakeSummary bakeSvgCaches(const std::string& assetsDirectory, std::ostream& errors) {
    BakeSummary summary;
    std::string story = joinPath(assetsDirectory, "story");
    std::string blobs = joinPath(assetsDirectory, "blobs");
    std::error_code error;
    if (!fs::is_directory(story, error)) {
        errors << "halvane-bake: " << story << ": no story directory" << std::endl;
        ++summary.failed;
        return summary;
    }
    fs::create_directories(blobs, error);
    if (error) {
        errors << "halvane-bake: " << blobs << ": cannot create the directory: " << error.message() << std::endl;
        ++summary.failed;
        return summary;
    }
    for (const std::string& path : findSvgFiles(story, errors, summary.failed)) {
        std::string why;
        bool partly = false;
        try {
            why = bakeOne(story, blobs, path, errors, partly);
        } catch (const std::exception& e) {
            why = std::string("cannot be baked: ") + e.what();
        }
        if (why.empty()) {
            ++(partly ? summary.partly : summary.baked);
        } else {
            errors << "halvane-bake: " << path << ": " << why << std::endl;
            ++summary.failed;
        }
    }
    return summary;
}

} // namespace hv
