// The sample book as the build lays it out beside the executable: its pictures baked into
// the blobs, its paper, fonts, version and icon all usable by the engine.
#include "core/PathProvider.h"
#include "host/SDLTypesetter.h"
#include "render/PaperTexture.h"
#include "svg/SvgManager.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace hv {
namespace {

namespace fs = std::filesystem;

const std::string assets = std::string(HV_BINARY_DIR) + "/assets";
const std::string story = assets + "/story";
const std::string blobs = assets + "/blobs";

std::vector<std::string> storySvgFiles() {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(story)) {
        std::string full = entry.path().generic_string();
        if (entry.is_regular_file() && entry.path().extension() == ".svg") found.push_back(full.substr(story.size() + 1));
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(SampleBookTest, EveryPictureLoadsFromItsBakedCacheAsItParses) {
    std::vector<std::string> pictures = storySvgFiles();
    ASSERT_GE(pictures.size(), 3u);
    auto provider = std::make_shared<PathProvider>(story);
    SvgManager cached, parsed;
    ASSERT_TRUE(cached.init(provider, SvgManager::useCacheFlag, blobs));
    ASSERT_TRUE(parsed.init(provider, 0, blobs));
    for (const std::string& picture : pictures) {
        SCOPED_TRACE(picture);
        std::optional<int32_t> fromCache = cached.loadFile(picture, nullptr);
        std::optional<int32_t> fromText = parsed.loadFile(picture, nullptr);
        ASSERT_TRUE(fromCache.has_value());
        ASSERT_TRUE(fromText.has_value());
        auto names = cached.shapeNamesAndGroups(*fromCache);
        ASSERT_TRUE(names.has_value());
        EXPECT_FALSE(names->empty());
        EXPECT_EQ(names, parsed.shapeNamesAndGroups(*fromText));
        // Every shape is named for the scripts to pick, and carries its triangles.
        for (size_t i = 0; i < names->size(); ++i) {
            EXPECT_NE(std::get<0>((*names)[i]).rfind("auto-", 0), 0u) << std::get<0>((*names)[i]);
            EXPECT_NE(cached.files[size_t(*fromCache)].shapes[i].meshCache, nullptr) << std::get<0>((*names)[i]);
        }
    }
}

TEST(SampleBookTest, PaperFontsVersionAndIconAreUsable) {
    PaperParams params;
    ASSERT_TRUE(params.readFrom(story + "/paper.txt"));
    EXPECT_GT(params.intensity, 0.0);
    // The bake may also prepare the paper; when it does, the cache is the paper the text makes.
    if (Blob blob = getBlobAtPath(paperCachePath(blobs))) {
        PaperTexture texture;
        ASSERT_TRUE(texture.readFrom(*makeBlobReader(blob)));
        EXPECT_EQ(texture.dimension, params.size);
        EXPECT_EQ(texture.texels, generatePaperTexture(params)->texels);
    }

    auto [version, found] = getStringFromProvider(PathProvider(story), "version.txt");
    ASSERT_TRUE(found);
    EXPECT_FALSE(version.empty());

    ASSERT_EQ(TTF_Init(), 0);
    {
        SDLTypesetter typesetter;
        typesetter.init(std::make_shared<PathProvider>(story));
        for (const char* face : {"DejaVuSans", "DejaVuSerif", "DejaVuSerif-Italic"}) {
            EXPECT_GE(typesetter.loadFont(face, 24), 0) << face;
        }
    }
    TTF_Quit();
    EXPECT_TRUE(fs::exists(story + "/fonts/LICENSE"));

    SDL_Surface* icon = SDL_LoadBMP((blobs + "/app-icon.bmp").c_str());
    ASSERT_NE(icon, nullptr) << SDL_GetError();
    EXPECT_EQ(icon->w, 64);
    EXPECT_EQ(icon->h, 64);
    SDL_FreeSurface(icon);
}

} // namespace
} // namespace hv
