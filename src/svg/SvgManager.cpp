#include "svg/SvgManager.h"

#include "core/Configuration.h"
#include "core/ResourcePaths.h"
#include "core/Text.h"
#include "core/Transform.h"
#include "picture/Path.h"
#include "svg/RawSvgCache.h"
#include "svg/SvgParser.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>

namespace hv {

namespace {

// The SVG manager reads drawings at 96 dots per inch.
constexpr float svgDotsPerInch = 96.0f;

bool finitePoint(float x, float y) { return std::isfinite(x) && std::isfinite(y); }

std::string colourText(const SvgPaint& fill) {
    if (fill.kind == SvgPaint::None) return "00000000";
    uint32_t c = fill.colour;
    char text[9];
    std::snprintf(text, sizeof(text), "%02x%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, (c >> 24) & 0xFF);
    return text;
}

} // namespace

uint32_t SvgManager::flagsFor(const Configuration& configuration) { return configuration.useCache ? useCacheFlag : 0; }

bool SvgManager::init(std::shared_ptr<PathProvider> provider_, uint32_t flags, std::string cacheDirectory) {
    provider = std::move(provider_);
    useCache = (flags & useCacheFlag) != 0;
    rawSvgCacheDirectory = std::move(cacheDirectory);
    return true;
}

std::optional<int32_t> SvgManager::loadFile(const std::string& path, const ColourTranslationMap* colourMap,
                                            std::string* failure) {
    auto file = loadAndResolve(path, colourMap, failure);
    if (!file) return std::nullopt;
    if (files.size() >= size_t(INT32_MAX)) {
        std::cerr << "SvgManager::loadFile: too many files" << std::endl;
        return std::nullopt;
    }
    files.push_back(std::move(*file));
    return int32_t(files.size() - 1);
}

std::optional<SvgFile> SvgManager::loadAndResolve(const std::string& path, const ColourTranslationMap* colourMap,
                                                  std::string* failure) {
    auto raw = uncachedLoadFromPath(path, failure);
    if (!raw) return std::nullopt;
    return resolveRawSvg(*raw, colourMap);
}

std::optional<RawSvgFile> SvgManager::uncachedLoadFromPath(const std::string& path, std::string* failure) {
    if (!useCache) return convertSvgImage(path, failure);
    std::string cachePath = svgCachePath(rawSvgCacheDirectory, path);
    errno = 0;
    Blob blob = getBlobAtPath(cachePath);
    if (!blob) {
        int error = errno;
        std::cerr << "SvgManager::uncachedLoadFromPath: unable to open path " << cachePath << ", errno = " << error
                  << std::endl;
        return std::nullopt;
    }
    BlobReader reader(blob);
    auto file = readRawSvgFile(reader);
    if (!file) {
        std::cerr << "SvgManager::uncachedLoadFromPath: failed to read svg cache " << cachePath << std::endl;
        return std::nullopt;
    }
    return file;
}

std::optional<RawSvgFile> SvgManager::convertSvgImage(const std::string& path, std::string* failure) {
    if (!provider) return std::nullopt;
    std::string text, why;
    if (!readWholeFile(joinPath(provider->root, path), text, why)) {
        // A missing file is the caller's to tell; one that is there but unusable is told here.
        if (failure && errno != ENOENT) *failure = "cannot read the file: " + why;
        return std::nullopt;
    }
    auto file = convertSvgText(std::move(text), path, failure);
    if (file) {
        for (const RawSvgShape& shape : file->shapes) {
            std::string warning = flatShapeWarning(shape);
            if (!warning.empty()) std::cerr << "SvgManager::convertSvgImage: " << path << ": " << warning << std::endl;
        }
    }
    return file;
}

std::string flatShapeWarning(const RawSvgShape& shape) {
    struct Flat {
        const char* where;
        const char* missing;
        const char* unscaled;
        const char* mend;
    };
    Vec2 size = pathCommandsSize(shape.pathCommands);
    if (size.x != 0 && size.y != 0) return "";
    Flat flat = size.x != 0   ? Flat{"on one level line", "height", "its height is", "above or below that line"}
                : size.y != 0 ? Flat{"on one upright line", "width", "its width is", "to one side of that line"}
                              : Flat{"at one point", "width or height", "its width and height are", "elsewhere"};
    return "shape " + shape.name + ": its end points all lie " + flat.where + ", so its box has no " + flat.missing +
           ": inserted, " + flat.unscaled + " not scaled, one drawing unit to one script unit (give it an end point " +
           flat.mend + ")";
}

std::optional<RawSvgFile> convertSvgText(std::string text, const std::string& path, std::string* failure) {
    auto failWith = [&](const std::string& why) -> std::optional<RawSvgFile> {
        if (failure) *failure = why;
        return std::nullopt;
    };
    std::unique_ptr<SvgPictureRecord> image = parseSvgDocument(text.data(), svgDotsPerInch);
    if (!image) return failWith("out of memory while parsing");

    RawSvgFile file;
    uint64_t autoNameCounter = 0;
    for (const SvgShapeRecord& parsed : image->shapes) {
        auto [name, map, ok] = parseShapeTag(parsed.label);
        if (!ok) {
            std::cerr << "  failed to parse tag: '" << parsed.label << "'" << std::endl;
            return failWith(std::string("the label '") + parsed.label + "' names a shape twice");
        }
        if (name == "ignore") continue;
        if (name.empty()) name = "auto-" + std::to_string(++autoNameCounter);

        RawSvgShape shape;
        shape.name = std::move(name);
        shape.group = parsed.groupLabel;
        shape.elementId = parsed.id;
        bool finite = true;
        for (const SvgOutline& outline : parsed.outlines) {
            size_t n = outline.pointCount();
            if (n == 0) continue;
            const float* p = outline.points.data();
            float x0 = p[0], y0 = -p[1];
            bool outlineFinite = finitePoint(p[0], p[1]);
            shape.pathCommands.push_back(PathCommand::moveTo(x0, y0));
            for (size_t s = 0; s < (n - 1) / 3; ++s) {
                const float* q = p + 2 + 6 * s;
                outlineFinite = outlineFinite && finitePoint(q[4], q[5]);
                if (std::isnan(q[0])) {
                    shape.pathCommands.push_back(PathCommand::lineTo(q[4], -q[5]));
                } else {
                    outlineFinite = outlineFinite && finitePoint(q[0], q[1]) && finitePoint(q[2], q[3]);
                    shape.pathCommands.push_back(PathCommand::cubicTo(q[0], -q[1], q[2], -q[3], q[4], -q[5]));
                }
            }
            finite = finite && outlineFinite;
            if (!outlineFinite) continue; // reported once for the whole shape below
            const Vec2& end = shape.pathCommands.back().endPoint();
            if (!(end.x == double(x0) && end.y == double(y0))) {
                std::cerr << "  unclosed path " << shape.elementId << " in " << path << std::endl;
            }
        }
        if (shape.pathCommands.size() <= 1) {
            std::cerr << "  suspiciously small path " << shape.elementId << " in " << path << std::endl;
            continue;
        }
        if (!finite) {
            // An infinite or undefined coordinate would poison the origin shift and every
            // mesh built from the shape.
            // Named as the script names it, with its element id when it has one.
            std::cerr << "  coordinates that are not finite in shape " << shape.name
                      << (shape.elementId.empty() ? "" : " (" + shape.elementId + ")") << " in " << path
                      << "; shape dropped" << std::endl;
            continue;
        }
        shape.colour = colourText(parsed.fill);
        shape.meshCache = std::make_shared<MeshWrapper>();
        file.shapes.push_back(std::move(shape));
    }
    if (file.shapes.empty()) return failWith("no shapes left to convert");

    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    for (const RawSvgShape& shape : file.shapes) {
        for (const PathCommand& command : shape.pathCommands) {
            minX = std::min(minX, command.endPoint().x);
            minY = std::min(minY, command.endPoint().y);
        }
    }
    Transform shift = Transform::translation(Vec2(-minX, -minY));
    for (RawSvgShape& shape : file.shapes) {
        transformPathCommands(shift, shape.pathCommands);
        for (const PathCommand& command : shape.pathCommands) {
            file.width = std::max(file.width, command.endPoint().x);
            file.height = std::max(file.height, command.endPoint().y);
        }
    }
    return file;
}

SvgFile SvgManager::resolveRawSvg(const RawSvgFile& file, const ColourTranslationMap* colourMap) const {
    SvgFile resolved;
    resolved.width = file.width;
    resolved.height = file.height;
    resolved.shapes.reserve(file.shapes.size());
    for (const RawSvgShape& raw : file.shapes) {
        SvgShape shape;
        shape.pathCommands = raw.pathCommands;
        shape.name = raw.name;
        shape.group = raw.group;
        shape.meshCache = raw.meshCache;
        if (colourMap) {
            auto found = colourMap->find(raw.colour);
            if (found == colourMap->end()) found = colourMap->find(raw.colour.substr(0, 6));
            if (found != colourMap->end()) {
                auto [colour, ok] = PaletteColour::parse(found->second);
                if (ok) shape.colour = colour;
                else std::cerr << "unable to parse translation map colour: " << found->second << std::endl;
            }
        } else {
            auto [colour, ok] = colourFromHex(raw.colour);
            if (ok) shape.colour = PaletteColour::fromColour(colour);
            else std::cerr << "SvgManager::resolveRawSvg: unable to parse colour '" << raw.colour << "'" << std::endl;
        }
        resolved.shapes.push_back(std::move(shape));
    }
    return resolved;
}

std::optional<int32_t> SvgManager::loadShape(int32_t fileIndex, const std::string& name) {
    for (size_t i = 0; i < shapeHandles.size(); ++i) {
        const auto& [file, shapeIndex] = shapeHandles[i];
        if (file == fileIndex && files[size_t(file)].shapes[size_t(shapeIndex)].name == name) return int32_t(i);
    }
    if (!validFileIndex(fileIndex)) return std::nullopt;
    const SvgFile& file = files[size_t(fileIndex)];
    for (size_t i = 0; i < file.shapes.size(); ++i) {
        if (file.shapes[i].name != name) continue;
        if (shapeHandles.size() >= size_t(INT32_MAX)) {
            std::cerr << "SvgManager::loadShape(): too many shapes" << std::endl;
            return std::nullopt;
        }
        shapeHandles.emplace_back(fileIndex, int32_t(i));
        return int32_t(shapeHandles.size() - 1);
    }
    std::cerr << "SvgManager::loadShape(): shape not found '" << name << "'" << std::endl;
    for (const SvgShape& shape : file.shapes) {
        if (!shape.name.empty()) std::cerr << " - '" << shape.name << "'" << std::endl;
    }
    return std::nullopt;
}

std::pair<SvgShape, bool> SvgManager::shape(int32_t handle) const {
    if (handle < 0 || size_t(handle) >= shapeHandles.size()) return {SvgShape(), false};
    const auto& [fileIndex, shapeIndex] = shapeHandles[size_t(handle)];
    if (!validFileIndex(fileIndex)) return {SvgShape(), false};
    const SvgFile& file = files[size_t(fileIndex)];
    if (shapeIndex < 0 || size_t(shapeIndex) >= file.shapes.size()) return {SvgShape(), false};
    return {file.shapes[size_t(shapeIndex)], true};
}

std::optional<Vec2> SvgManager::fileSize(int32_t fileIndex) const {
    if (!validFileIndex(fileIndex)) return std::nullopt;
    const SvgFile& file = files[size_t(fileIndex)];
    return Vec2(file.width, file.height);
}

std::optional<std::vector<std::tuple<std::string, std::string, std::string>>> SvgManager::shapeNamesAndGroups(
    int32_t fileIndex) const {
    if (!validFileIndex(fileIndex)) return std::nullopt;
    std::vector<std::tuple<std::string, std::string, std::string>> listing;
    for (const SvgShape& shape : files[size_t(fileIndex)].shapes) {
        listing.emplace_back(shape.name, shape.group, shape.colour.toString());
    }
    return listing;
}

std::tuple<std::string, std::map<std::string, std::string>, bool> parseShapeTag(const std::string& label) {
    std::vector<std::string> items;
    for (char c : label) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        if (c == ';') {
            items.emplace_back();
            continue;
        }
        if (items.empty()) items.emplace_back();
        items.back().push_back(c);
    }
    std::string name;
    std::map<std::string, std::string> map;
    for (const std::string& item : items) {
        auto [key, value, isPair] = splitTagItem(item);
        if (isPair) {
            map[key] = value;
        } else if (name.empty()) {
            name = item;
        } else {
            std::cerr << "Unable to parse tag in image: " << label << std::endl;
            return {"", {}, false};
        }
    }
    return {name, map, true};
}

std::tuple<std::string, std::string, bool> splitTagItem(const std::string& item) {
    for (size_t i = 1; i + 1 < item.size(); ++i) {
        if (item[i] == '=') return {item.substr(0, i), item.substr(i + 1), true};
    }
    return {"", "", false};
}

std::string svgCachePath(const std::string& directory, const std::string& svgPath) {
    std::string path = svgPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return directory + "/mesh-0-" + hexBytes(path);
}

} // namespace hv
