#include "host/SDLTypesetter.h"
#include "render/ParagraphRecord.h"
#include "support/ChildProcess.h"
#include "support/RecordingBackend.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <sys/stat.h>

namespace hv {
namespace {

const std::string dejaVu = "/usr/share/fonts/truetype/dejavu/";

// Alpha of the pixel at (x, row) of a texture as uploaded, rows counted in upload order.
uint8_t alphaAt(const test::RecordingBackend::Texture& texture, uint64_t x, uint64_t row) {
    return texture.pixels[(row * texture.width + x) * 4 + 3];
}

// A story folder whose fonts/ holds the DejaVu faces.
class TypesetterTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TTF_Init(), 0);
        std::filesystem::create_directory(story.file("fonts"));
        for (const char* face : {"DejaVuSans", "DejaVuSerif"}) {
            std::filesystem::create_symlink(dejaVu + face + ".ttf", story.file(std::string("fonts/") + face + ".ttf"));
        }
        typesetter = std::make_unique<SDLTypesetter>();
        ASSERT_TRUE(typesetter->init(std::make_shared<PathProvider>(story.path())));
    }
    void TearDown() override {
        typesetter.reset();
        TTF_Quit();
    }

    // The text's own width in pixels, as SDL2_ttf measures it.
    int measured(const std::string& text, int32_t font, int size) {
        TTF_Font* f = TTF_OpenFont((dejaVu + (font == 0 ? "DejaVuSans" : "DejaVuSerif") + ".ttf").c_str(), size);
        int w = 0, h = 0;
        TTF_SizeUTF8(f, text.c_str(), &w, &h);
        TTF_CloseFont(f);
        return w;
    }

    test::TempDir story;
    std::unique_ptr<SDLTypesetter> typesetter;
    test::RecordingBackend renderer;
};

TEST_F(TypesetterTest, OneIdPerFontAndSize) {
    EXPECT_EQ(typesetter->loadFont("DejaVuSans", 18), 0);
    EXPECT_EQ(typesetter->loadFont("DejaVuSans", 18), 0);
    EXPECT_EQ(typesetter->loadFont("DejaVuSans", 24), 1);
    EXPECT_EQ(typesetter->loadFont("DejaVuSerif", 18), 2);
    EXPECT_EQ(typesetter->loadFont("DejaVuSans", 18.5), 3); // sizes compare exactly
    EXPECT_EQ(typesetter->fontCount(), 4u);

    testing::internal::CaptureStderr();
    EXPECT_EQ(typesetter->loadFont("NoSuchFace", 18), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to open font at path: fonts/NoSuchFace.ttf\n");
    EXPECT_EQ(typesetter->fontCount(), 4u);
}

TEST_F(TypesetterTest, LineMetricsComeFromTheFont) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    TTF_Font* font = TTF_OpenFont((dejaVu + "DejaVuSans.ttf").c_str(), 20);
    auto [descent, height] = typesetter->lineMetrics(id);
    EXPECT_EQ(descent, TTF_FontDescent(font));
    EXPECT_EQ(height, double(TTF_FontAscent(font) + TTF_FontDescent(font)));
    TTF_CloseFont(font);
}

TEST_F(TypesetterTest, NarrowTextIsPlacedByAlignment) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    const double width = 400.0;
    // Several texts, so widths that are not a multiple of four pixels (where SDL2_ttf pads the
    // pitch) are among them.
    int oddWidths = 0;
    for (std::string text : {"Hi", "Tide", "Evening falls", "a b c", "Wherever"}) {
        int pw = measured(text, 0, 20);
        oddWidths += pw % 4 != 0;
        double widthFraction = pw / width;
        double slack = 1.0 - widthFraction;
        for (auto [alignment, offset] : {std::pair{0, 0.0}, {1, slack}, {2, slack / 2}, {3, 0.0}}) {
            ParagraphRecord record;
            typesetter->generateTextBlock(record, text, alignment, id, renderer, width);
            const auto& texture = renderer.textures.at(record.textureId);
            EXPECT_EQ(texture.width, uint64_t(pw)) << text;
            EXPECT_DOUBLE_EQ(record.widthFraction, widthFraction) << text;
            EXPECT_DOUBLE_EQ(record.offsetFraction, offset) << text << " alignment " << alignment;
            EXPECT_DOUBLE_EQ(record.aspect, width / double(texture.height)) << text;
        }
    }
    EXPECT_GT(oddWidths, 0);

    // An alignment outside the four keeps the caller's offset.
    ParagraphRecord record;
    record.offsetFraction = 0.125;
    typesetter->generateTextBlock(record, "Hi", 7, id, renderer, width);
    EXPECT_EQ(record.offsetFraction, 0.125);
}

TEST_F(TypesetterTest, TextThatFillsTheWrapWidthIsWholeWidth) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    std::string text = "Wherever";
    double width = measured(text, 0, 20);
    ParagraphRecord record;
    typesetter->generateTextBlock(record, text, 2, id, renderer, width);
    EXPECT_EQ(record.offsetFraction, 0.0);
    EXPECT_EQ(record.widthFraction, 1.0);
}

TEST_F(TypesetterTest, WrappedTextGrowsDownAndTheFirstRowIsTheBottomRow) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    std::string text = "The tide came in over the flats and the birds lifted all at once.";
    ParagraphRecord one, wrapped;
    typesetter->generateTextBlock(one, "The tide", 0, id, renderer, 300);
    typesetter->generateTextBlock(wrapped, text, 0, id, renderer, 300);
    const auto& texture = renderer.textures.at(wrapped.textureId);
    EXPECT_GT(texture.height, renderer.textures.at(one.textureId).height * 2);
    EXPECT_LE(texture.width, 300u);

    // Compare with SDL2_ttf's own top-down image, row by row.
    TTF_Font* font = TTF_OpenFont((dejaVu + "DejaVuSans.ttf").c_str(), 20);
    SDL_Surface* surface = TTF_RenderUTF8_Blended_Wrapped(font, text.c_str(), SDL_Color{255, 255, 255, 255}, 300);
    ASSERT_EQ(uint64_t(surface->w), texture.width);
    ASSERT_EQ(uint64_t(surface->h), texture.height);
    auto surfaceAlpha = [&](int x, int y) {
        const auto* row = static_cast<const uint8_t*>(surface->pixels) + y * surface->pitch;
        return uint8_t(reinterpret_cast<const uint32_t*>(row)[x] >> 24);
    };
    int inked = 0, mismatches = 0;
    for (int y = 0; y < surface->h; ++y) {
        for (int x = 0; x < surface->w; ++x) {
            uint8_t expected = surfaceAlpha(x, surface->h - 1 - y);
            inked += expected != 0;
            mismatches += alphaAt(texture, uint64_t(x), uint64_t(y)) != expected;
        }
    }
    EXPECT_GT(inked, 100);
    EXPECT_EQ(mismatches, 0);
    SDL_FreeSurface(surface);
    TTF_CloseFont(font);
}

// Left and right margins of the ink of each line of a paragraph's texture.
std::vector<std::pair<int, int>> lineMargins(const test::RecordingBackend::Texture& texture, int lineSkip) {
    std::vector<std::pair<int, int>> margins;
    const int w = int(texture.width), h = int(texture.height);
    for (int top = 0; top + lineSkip <= h; top += lineSkip) {
        int left = w, right = -1;
        for (int y = top; y < top + lineSkip; ++y) {
            for (int x = 0; x < w; ++x) {
                if (alphaAt(texture, uint64_t(x), uint64_t(h - 1 - y)) == 0) continue;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (right >= 0) margins.emplace_back(left, w - 1 - right);
    }
    return margins;
}

TEST_F(TypesetterTest, EveryLineOfAWrappedParagraphFollowsItsAlignment) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    TTF_Font* font = TTF_OpenFont((dejaVu + "DejaVuSans.ttf").c_str(), 20);
    const int lineSkip = TTF_FontLineSkip(font);
    TTF_CloseFont(font);
    // A line's margins may differ by a blank, which SDL2_ttf counts in the line's width.
    const int blank = measured(" ", 0, 20) + 2;
    for (int alignment : {0, 1, 2, 3}) {
        ParagraphRecord record;
        typesetter->generateTextBlock(record, "The tide came in over the flats and the birds lifted all at once.",
                                      alignment, id, renderer, 300);
        EXPECT_EQ(record.offsetFraction, 0.0);
        EXPECT_EQ(record.widthFraction, 1.0);
        auto margins = lineMargins(renderer.textures.at(record.textureId), lineSkip);
        ASSERT_EQ(margins.size(), 3u);
        for (auto [left, right] : margins) {
            int off = alignment == 1 ? right : alignment == 2 ? std::abs(left - right) : left;
            EXPECT_LE(off, alignment == 1 || alignment == 2 ? blank : 2) << "alignment " << alignment;
        }
    }
}

TEST_F(TypesetterTest, TextsAndImagesTheRendererCannotShowAreRefused) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    std::string prose;
    while (prose.size() < SDLTypesetter::maxTextBytes) prose += "The tide came in over the flats. ";
    prose.resize(SDLTypesetter::maxTextBytes);
    std::string breaks;
    for (int i = 0; i < 700; ++i) breaks += "a\n";
    const int wide = measured("Wherever", 0, 20);
    const struct {
        std::string text;
        uint64_t largest;
        std::string refusal;
    } cases[] = {
        {prose + "x", 16384, "a text of 32769 bytes is longer than a paragraph can be (32768 bytes)"},
        {breaks, 16384,
         "a text of 701 lines makes an image at least 16824 pixels high, more than a texture can hold (16384)"},
        {"The tide came in over the flats and the birds lifted", 40,
         "a text of 52 bytes makes an image of 300 x 48 pixels, more than a texture can hold (40 a side)"},
        {"Wherever", uint64_t(wide - 1),
         "a text of 8 bytes makes an image of " + std::to_string(wide) +
             " x 24 pixels, more than a texture can hold (" + std::to_string(wide - 1) + " a side)"},
        {prose.substr(0, 4000), 16384, ""},
    };
    for (const auto& c : cases) {
        renderer.maxTexture = c.largest;
        size_t textures = renderer.textures.size();
        ParagraphRecord record;
        EXPECT_EQ(typesetter->generateTextBlock(record, c.text, 0, id, renderer, 300), c.refusal);
        EXPECT_EQ(renderer.textures.size(), textures + (c.refusal.empty() ? 1 : 0)) << c.refusal;
        if (!c.refusal.empty()) {
            EXPECT_EQ(record.textureId, 0u);
        }
    }
}

TEST_F(TypesetterTest, AFontThatIsNoRegularFileIsRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo(story.file("fonts/Pipe.ttf").c_str(), 0600), 0);
    test::ChildWatch watch;
    watch.limit = std::chrono::seconds(20);
    test::ChildResult child =
        test::runInChild([&] { std::cout << typesetter->loadFont("Pipe", 20) << std::endl; }, watch);
    EXPECT_EQ(child.exitStatus, 0) << "still waiting for a writer";
    EXPECT_EQ(child.out, "-1\n");
    EXPECT_EQ(child.err, "Failed to open font at path: fonts/Pipe.ttf\n");
}

TEST_F(TypesetterTest, EmptyTextMakesAnEmptyParagraph) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    ParagraphRecord record;
    typesetter->generateTextBlock(record, "", 2, id, renderer, 400);
    ASSERT_EQ(renderer.textures.count(record.textureId), 1u);
    const auto& texture = renderer.textures.at(record.textureId);
    EXPECT_EQ(texture.width, 1u);
    EXPECT_GT(texture.height, 0u);
    for (uint64_t y = 0; y < texture.height; ++y) EXPECT_EQ(alphaAt(texture, 0, y), 0);
    EXPECT_DOUBLE_EQ(record.widthFraction, 1.0 / 400.0);
    EXPECT_DOUBLE_EQ(record.offsetFraction, (1.0 - 1.0 / 400.0) / 2);
    EXPECT_DOUBLE_EQ(record.aspect, 400.0 / double(texture.height));
}

TEST_F(TypesetterTest, AnUnknownFontIdFallsBackToTheFirstFont) {
    int32_t sans = typesetter->loadFont("DejaVuSans", 20);
    typesetter->loadFont("DejaVuSerif", 32);
    auto expected = typesetter->lineMetrics(sans);

    testing::internal::CaptureStderr();
    auto metrics = typesetter->lineMetrics(9);
    ParagraphRecord record;
    typesetter->generateTextBlock(record, "Hi", 0, -1, renderer, 400);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SDLTypesetter::lineMetrics: passed bad font id\nSDLTypesetter::generateTextBlock: passed bad font id\n");
    EXPECT_EQ(metrics, expected);
    EXPECT_EQ(renderer.textures.at(record.textureId).width, uint64_t(measured("Hi", 0, 20)));
}

TEST(TypesetterNoFontTest, WithoutAnyFontABadIdEndsTheRun) {
    for (bool metrics : {true, false}) {
        test::ChildResult child = test::runInChild([&] {
            TTF_Init();
            SDLTypesetter typesetter;
            typesetter.init(std::make_shared<PathProvider>("/nonexistent"));
            test::RecordingBackend renderer;
            ParagraphRecord record;
            if (metrics) {
                typesetter.lineMetrics(0);
            } else {
                typesetter.generateTextBlock(record, "Hi", 0, 0, renderer, 100);
            }
        });
        std::string operation = metrics ? "lineMetrics" : "generateTextBlock";
        EXPECT_EQ(child.exitStatus, 1);
        EXPECT_EQ(child.err, "SDLTypesetter::" + operation + ": passed bad font id\nSDLTypesetter::" + operation +
                                 ": no fallback\n");
    }
}

} // namespace
} // namespace hv
