#pragma once

#include "core/PathProvider.h"
#include "core/Vec2.h"
#include "svg/SvgShape.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace hv {

struct Configuration;

// Colour text (8 or 6 lower-case hexadecimal digits) to palette colour text ("row.tone").
using ColourTranslationMap = std::map<std::string, std::string>;

// Turns the book's SVG files into files of named shapes, by parsing them or, with the cache
// on, from their raw-SVG cache files, and hands out file indices and shape handles. Both
// lists only grow. Failures print one line and give an empty result; nothing here is fatal.
class SvgManager {
public:
    // Bit 0 of the flags turns the cache on.
    static constexpr uint32_t useCacheFlag = 1;
    static uint32_t flagsFor(const Configuration& configuration);

    bool init(std::shared_ptr<PathProvider> provider, uint32_t flags, std::string cacheDirectory);

    // Every successful call appends a new file, also for a path loaded before. When it gives
    // nothing, `failure` (when given) holds why the SVG file that is there could not be read or
    // converted; it stays empty for a file that is missing and for a cache that failed with
    // its own line.
    std::optional<int32_t> loadFile(const std::string& path, const ColourTranslationMap* colourMap,
                                    std::string* failure = nullptr);
    std::optional<SvgFile> loadAndResolve(const std::string& path, const ColourTranslationMap* colourMap,
                                          std::string* failure = nullptr);
    std::optional<RawSvgFile> uncachedLoadFromPath(const std::string& path, std::string* failure = nullptr);
    std::optional<RawSvgFile> convertSvgImage(const std::string& path, std::string* failure = nullptr);
    SvgFile resolveRawSvg(const RawSvgFile& file, const ColourTranslationMap* colourMap) const;

    // The same handle for the same file index and name.
    std::optional<int32_t> loadShape(int32_t fileIndex, const std::string& name);
    // A copy of the shape; a default shape and false for an unknown handle.
    std::pair<SvgShape, bool> shape(int32_t handle) const;
    std::optional<Vec2> fileSize(int32_t fileIndex) const;
    // (name, group, colour as "row.tone") per shape.
    std::optional<std::vector<std::tuple<std::string, std::string, std::string>>> shapeNamesAndGroups(int32_t fileIndex) const;

    std::shared_ptr<PathProvider> provider;
    std::vector<SvgFile> files;
    std::vector<std::pair<int32_t, int32_t>> shapeHandles; // (file index, shape index)
    std::string rawSvgCacheDirectory;
    bool useCache = false;

private:
    bool validFileIndex(int32_t fileIndex) const { return fileIndex >= 0 && size_t(fileIndex) < files.size(); }
};

// Converts the text of one SVG file (`path` names it in warnings). Unnamed shapes are named
// auto-1, auto-2, ... in each file, counting the ones dropped later, so a file's names do not
// depend on what else the book loaded or whether it came from its cache. When it gives nothing
// and `failure` is given, it holds why.
std::optional<RawSvgFile> convertSvgText(std::string text, const std::string& path, std::string* failure = nullptr);

// Empty unless the shape's end points all lie on one line: its box then has no height (or no
// width), and inserted it keeps the drawing's own size on that axis, however small the size
// asked for. Otherwise "shape NAME: " and why, for the author to mend the drawing.
std::string flatShapeWarning(const RawSvgShape& shape);

// A shape's label: items separated by ';', white space dropped; key=value items form the
// map, the one other item is the name. Two names fail.
std::tuple<std::string, std::map<std::string, std::string>, bool> parseShapeTag(const std::string& label);
std::tuple<std::string, std::string, bool> splitTagItem(const std::string& item);

// The cache file of an SVG path: "mesh-0-" and the path's bytes in hexadecimal, two digits
// each, after every '/' has become '\'.
std::string svgCachePath(const std::string& directory, const std::string& svgPath);

} // namespace hv
