#include "host/SDLPlatform.h"
#include "host/SDLSoundManager.h"
#include "host/SDLTypesetter.h"
#include "support/RecordingBackend.h"

#include <SDL.h>

#include <gtest/gtest.h>

namespace hv {
namespace {

class PlatformTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window = SDL_CreateWindow("Loading...", 0, 0, 320, 200, 0);
        ASSERT_NE(window, nullptr) << SDL_GetError();
        platform.setWindow(window);
    }
    void TearDown() override {
        SDL_DestroyWindow(window);
        SDL_Quit();
    }

    SDL_Window* window = nullptr;
    SDLPlatform platform;
};

TEST_F(PlatformTest, TitleAndBrightnessReachTheWindow) {
    platform.setTitle("The Tide Book");
    EXPECT_STREQ(SDL_GetWindowTitle(window), "The Tide Book");
    EXPECT_EQ(platform.getBrightness(), double(SDL_GetWindowBrightness(window)));
    platform.setBrightness(0.75); // the offscreen display has no gamma: not reported
}

TEST_F(PlatformTest, HandsOutTheServicesTheHostGaveIt) {
    EXPECT_EQ(platform.renderer(), nullptr);
    auto sound = std::make_shared<SDLSoundManager>();
    auto typesetter = std::make_shared<SDLTypesetter>();
    auto renderer = std::make_shared<test::RecordingBackend>();
    platform.setSoundManager(sound);
    platform.setTypesetter(typesetter);
    EXPECT_EQ(platform.renderer(), nullptr);
    platform.setRenderer(renderer);
    EXPECT_EQ(platform.soundManager(), sound);
    EXPECT_EQ(platform.typesetter(), typesetter);
    EXPECT_EQ(platform.renderer(), renderer);
}

} // namespace
} // namespace hv
