#include "host/SDLTypesetter.h"
#include "render/ParagraphRecord.h"
#include "support/ChildProcess.h"
#include "support/RecordingBackend.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <gtest/gtest.h>

#include <filesystem>

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

TEST_F(TypesetterTest, EveryLineOfAWrappedParagraphFollowsItsAlignment) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    const int blank = measured(" ", 0, 20) + 2; // SDL2_ttf counts a line's trailing blank in its width
    for (int alignment : {0, 1, 2, 3}) {
        ParagraphRecord record;
        typesetter->generateTextBlock(record, "The tide came in over the flats and the birds lifted all at once.",
                                      alignment, id, renderer, 300);
        const auto& texture = renderer.textures.at(record.textureId);
        ASSERT_EQ(texture.width, 300u);
        for (uint64_t top = 0; top < texture.height; top += 24) { // three lines 24 pixels apart
            int left = 300, right = 300;
            for (uint64_t y = top; y < top + 24; ++y) {
                for (int x = 0; x < 300; ++x) left = alphaAt(texture, x, y) ? std::min(left, x) : left;
                for (int x = 0; x < 300; ++x) right = alphaAt(texture, x, y) ? std::min(right, 299 - x) : right;
            }
            int off = alignment == 1 ? right : alignment == 2 ? std::abs(left - right) : left;
            EXPECT_LE(off, alignment % 3 != 0 ? blank : 2) << "alignment " << alignment << ", line at " << top;
        }
    }
}

TEST_F(TypesetterTest, TextsAndImagesTheRendererCannotShowAreRefused) {
    int32_t id = typesetter->loadFont("DejaVuSans", 20);
    renderer.maxTexture = 40;
    for (auto [text, refusal] : std::vector<std::pair<std::string, std::string>>{
             {std::string(SDLTypesetter::maxTextBytes + 1, 'a'),
              "a text of 32769 bytes is longer than a paragraph can be (32768 bytes)"},
             {"a\nb", "a text of 2 lines makes an image at least 48 pixels high, more than a texture can hold (40)"}}) {
        ParagraphRecord record;
        EXPECT_EQ(typesetter->generateTextBlock(record, text, 0, id, renderer, 300), refusal);
    }
    EXPECT_TRUE(renderer.textures.empty());
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
