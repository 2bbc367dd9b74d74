// Chapter sounds through the real sound manager on SDL's silent audio driver.
#include "chapter/ChapterController.h"
#include "core/SoundTable.h"
#include "host/SDLSoundManager.h"
#include "script/BookController.h"
#include "support/BookHarness.h"
#include "support/Sounds.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <gtest/gtest.h>

namespace hv {
namespace {

using test::BookHarness;

class SoundTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
        ASSERT_EQ(Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024), 0) << SDL_GetError();
        Mix_AllocateChannels(16);
    }
    void TearDown() override {
        if (manager) manager->shutdown();
        book.reset();
        manager.reset();
        Mix_CloseAudio();
        SDL_Quit();
    }

    void startBook(const std::string& source) {
        book = std::make_unique<BookHarness>(source);
        book->addStoryFile("tone.wav", test::wavBytes(0.1, 22050, 2));
        manager = std::make_shared<SDLSoundManager>();
        ASSERT_TRUE(manager->init());
        manager->setPaths(std::make_shared<PathProvider>(book->dir.file("story")));
        manager->setSoundTable(std::make_shared<SoundTable>());
        book->platform->realSoundManager = manager;
        book->start();
    }

    // Frames as the host runs them: a tick, then the manager's once-a-frame update.
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            book->tick(0.02);
            manager->updateSources();
            SDL_Delay(5);
        }
    }
    bool runUntil(const std::string& global) {
        for (int i = 0; i < 400 && book->global(global) != "true"; ++i) frames(1);
        return book->global(global) == "true";
    }

    std::unique_ptr<BookHarness> book;
    std::shared_ptr<SDLSoundManager> manager;
};

TEST_F(SoundTest, LoadPlayFadeAndEnd) {
    startBook(R"(
        hvkRegisterChapter('sound', function()
          local sound, loading = hvkLoadSound('tone.wav')
          firstLoad = loading
          nextEvent()
          secondLoad = select(2, hvkLoadSound('tone.wav'))
          loaded = true
          hvkSetAnimationDuration(0.04)
          hvkSetSoundVolume(hvkPlaySound(sound, false), 1)
          nextEvent()
          master = hvkSetVolume(2) and hvkSetVolume(nil) -- nil only reads
          ended = true
        end)
    )");
    EXPECT_EQ(book->global("firstLoad"), "true");
    ASSERT_TRUE(runUntil("loaded"));
    EXPECT_EQ(book->global("secondLoad"), "false");
    std::shared_ptr<SoundTable> table = manager->soundTable();
    ASSERT_EQ(table->instances.size(), 1u);
    EXPECT_EQ(table->instances[0].volume, 0.0); // started silent: the fade raises it
    ASSERT_TRUE(runUntil("ended"));
    EXPECT_EQ(table->instances[0].state, SoundInstance::Free);
    EXPECT_EQ(table->instances[0].volume, 1.0);
    EXPECT_EQ(book->global("master"), "2.0");
    EXPECT_TRUE(book->chapter().animations.empty());
}

TEST_F(SoundTest, FadesGoWithTheirSlotAndAChapterStartEndsALoop) {
    startBook(R"(
        hvkRegisterChapter('loop', function()
          local sound = hvkLoadSound('tone.wav')
          nextEvent()
          looping = hvkPlaySound(sound, true)
          spawn(function() hvkSetAnimationDuration(100) hvkSetSoundVolume(looping, 1) nextEvent() end)
          nextEvent()
          playing = true
        end)
        hvkRegisterChapter('quiet', function() quiet = true end)
    )");
    frames(30);
    // The loop keeps its context waiting, and another context fades it.
    EXPECT_EQ(book->global("playing"), "nil");
    std::shared_ptr<SoundTable> table = manager->soundTable();
    ASSERT_EQ(table->instances.size(), 1u);
    EXPECT_EQ(table->instances[0].state, SoundInstance::Playing);
    EXPECT_EQ(Mix_Playing(-1), 1);
    ASSERT_EQ(book->chapter().animations.size(), 1u);
    // Ending the playing context stops the sound; the fade aimed at its slot goes too and lets
    // its own context go, so a later sound in the slot is not faded by it.
    book->book().terminateContext(0);
    EXPECT_EQ(table->instances[0].state, SoundInstance::StopRequested);
    EXPECT_TRUE(book->chapter().animations.empty());
    EXPECT_EQ(book->contexts().context(1).lrc, 0);
    manager->updateSources();
    EXPECT_EQ(Mix_Playing(-1), 0);

    // The chapter again, and a chapter start while its loop plays.
    book->book().setPendingChapter(0);
    frames(30);
    EXPECT_EQ(Mix_Playing(-1), 1);
    book->book().setPendingChapter(1);
    book->tick();
    EXPECT_EQ(book->global("quiet"), "true");
    EXPECT_EQ(table->instances[0].state, SoundInstance::Free);
    EXPECT_EQ(Mix_Playing(-1), 0);
}

} // namespace
} // namespace hv
