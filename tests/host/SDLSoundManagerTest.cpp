#include "host/SDLSoundManager.h"
#include "support/ChildProcess.h"
#include "support/Sounds.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sys/stat.h>

namespace hv {
namespace {

using test::wavBytes;

bool waitFor(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        SDL_Delay(5);
    }
    return condition();
}

bool openMixer() {
    return SDL_Init(SDL_INIT_AUDIO) == 0 && Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) == 0;
}

std::shared_ptr<SDLSoundManager> makeManager(const std::string& root) {
    auto manager = std::make_shared<SDLSoundManager>();
    EXPECT_TRUE(manager->init());
    manager->setPaths(std::make_shared<PathProvider>(root));
    manager->setSoundTable(std::make_shared<SoundTable>());
    return manager;
}

class SoundManagerTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(openMixer()) << SDL_GetError();
        Mix_AllocateChannels(16);
        test::writeFile(dir.file("short.wav"), wavBytes(0.05, 22050, 2));
        test::writeFile(dir.file("long.wav"), wavBytes(2.0, 22050, 2));
        // Converted on load (other rate, mono), so decoding takes a while.
        test::writeFile(dir.file("slow.wav"), wavBytes(20.0, 44100, 1));
        std::filesystem::copy(test::testDataPath("sounds/tone.ogg"), dir.file("tone.ogg"));
        manager = makeManager(dir.path());
        table = manager->soundTable();
    }
    void TearDown() override {
        manager->shutdown();
        manager.reset();
        Mix_CloseAudio();
        SDL_Quit();
    }

    // Loads and waits until the load is collected; the sound's index.
    int32_t loaded(const std::string& name) {
        auto [index, pending] = manager->loadSound(name, 1);
        if (pending) {
            std::vector<int32_t> tags;
            EXPECT_TRUE(waitFor([&] {
                manager->collectFinished(tags);
                return !tags.empty();
            }));
        }
        return index;
    }

    SoundInstance& add(int64_t sound, int32_t state, double volume, bool loop) {
        SoundInstance instance;
        instance.state = state;
        instance.sound = sound;
        instance.volume = volume;
        instance.loop = loop;
        table->instances.push_back(instance);
        return table->instances.back();
    }

    test::TempDir dir;
    std::shared_ptr<SDLSoundManager> manager;
    std::shared_ptr<SoundTable> table;
};

TEST_F(SoundManagerTest, TwoRequestsForOnePathMakeOneBackgroundLoad) {
    auto first = manager->loadSound("slow.wav", 7);
    auto second = manager->loadSound("slow.wav", 8);
    EXPECT_EQ(first, std::make_pair(0, true));
    EXPECT_EQ(second, std::make_pair(0, true));
    EXPECT_EQ(manager->soundCount(), 1u);

    std::vector<int32_t> tags;
    ASSERT_TRUE(waitFor([&] {
        manager->collectFinished(tags);
        return !tags.empty();
    }));
    EXPECT_EQ(tags, (std::vector<int32_t>{7, 8}));
    EXPECT_EQ(manager->soundState(0), SDLSound::Loaded);

    // Loaded: no wait, no new load; tags are handed back once only.
    EXPECT_EQ(manager->loadSound("slow.wav", 9), std::make_pair(0, false));
    EXPECT_EQ(manager->loadSound("short.wav", 10).first, 1);
    EXPECT_EQ(manager->soundCount(), 2u);
    tags.clear();
    manager->collectFinished(tags);
    EXPECT_TRUE(waitFor([&] {
        manager->collectFinished(tags);
        return !tags.empty();
    }));
    EXPECT_EQ(tags, (std::vector<int32_t>{10}));
}

TEST_F(SoundManagerTest, AnInstanceWaitsForItsSoundToLoad) {
    auto request = manager->loadSound("slow.wav", 1);
    int32_t index = request.first;
    ASSERT_TRUE(request.second);
    SoundInstance& instance = add(index, SoundInstance::StartRequested, 1.0, false);
    manager->updateSources();
    EXPECT_EQ(instance.state, SoundInstance::StartRequested);
    ASSERT_TRUE(waitFor([&] { return manager->soundState(index) == SDLSound::Loaded; }));
    manager->updateSources();
    EXPECT_EQ(instance.state, SoundInstance::Playing);
}

TEST_F(SoundManagerTest, PlaysToTheEndLoopsChangesVolumeAndStops) {
    int32_t shortSound = loaded("short.wav");
    add(shortSound, SoundInstance::StartRequested, 0.5, false);
    add(shortSound, SoundInstance::StartRequested, 1.0, true);
    manager->updateSources();
    SoundInstance& once = table->instances[0];
    SoundInstance& looping = table->instances[1];
    ASSERT_EQ(once.state, SoundInstance::Playing);
    ASSERT_EQ(looping.state, SoundInstance::Playing);
    EXPECT_NE(once.channel, looping.channel);
    EXPECT_EQ(Mix_Volume(once.channel, -1), 64);
    EXPECT_EQ(Mix_Volume(looping.channel, -1), 128);

    ASSERT_TRUE(waitFor([&] {
        manager->updateSources();
        return once.state == SoundInstance::Finished;
    }));
    // Far past its length, the looping instance still plays.
    SDL_Delay(200);
    manager->updateSources();
    EXPECT_EQ(looping.state, SoundInstance::Playing);

    // Volume changes reach the channel within a frame; master times own, clamped at the channel.
    looping.volume = 0.25;
    manager->updateSources();
    EXPECT_EQ(Mix_Volume(looping.channel, -1), 32);
    looping.volume = 1.0;
    table->masterVolume = 0.5;
    manager->updateSources();
    EXPECT_EQ(Mix_Volume(looping.channel, -1), 64);
    table->masterVolume = -1.0;
    manager->updateSources();
    EXPECT_EQ(Mix_Volume(looping.channel, -1), 0);
    EXPECT_EQ(table->masterVolume, -1.0);
    table->masterVolume = 3.0;
    manager->updateSources();
    EXPECT_EQ(Mix_Volume(looping.channel, -1), 128);

    int channel = looping.channel;
    looping.state = SoundInstance::StopRequested;
    manager->updateSources();
    EXPECT_EQ(looping.state, SoundInstance::Free);
    EXPECT_EQ(Mix_Playing(channel), 0);
}

TEST_F(SoundManagerTest, AChannelFreedByAFinishedInstanceIsNotMistakenForItsNewUser) {
    Mix_AllocateChannels(1);
    int32_t shortSound = loaded("short.wav");
    int32_t longSound = loaded("long.wav");
    table->instances.resize(2);
    table->instances[1] = SoundInstance{SoundInstance::StartRequested, shortSound, 1.0, false, 0, 0};
    manager->updateSources();
    ASSERT_EQ(table->instances[1].state, SoundInstance::Playing);
    ASSERT_EQ(table->instances[1].channel, 0);

    // A lower slot asks for a start in the frame in which the first sound has ended.
    table->instances[0] = SoundInstance{SoundInstance::StartRequested, longSound, 0.5, true, 0, 0};
    ASSERT_TRUE(waitFor([] { return Mix_Playing(0) == 0; }));
    manager->updateSources();
    EXPECT_EQ(table->instances[1].state, SoundInstance::Finished);
    EXPECT_EQ(table->instances[0].state, SoundInstance::Playing);
    EXPECT_EQ(table->instances[0].channel, 0);
    EXPECT_EQ(Mix_Volume(0, -1), 64);
}

TEST_F(SoundManagerTest, AStopForAnEndedInstanceDoesNotHaltItsChannelsNewUser) {
    Mix_AllocateChannels(1);
    int32_t shortSound = loaded("short.wav");
    int32_t longSound = loaded("long.wav");
    table->instances.resize(2);
    table->instances[1] = SoundInstance{SoundInstance::StartRequested, shortSound, 1.0, false, 0, 0};
    manager->updateSources();
    ASSERT_EQ(table->instances[1].channel, 0);
    ASSERT_TRUE(waitFor([] { return Mix_Playing(0) == 0; }));
    table->instances[1].state = SoundInstance::StopRequested;
    table->instances[0] = SoundInstance{SoundInstance::StartRequested, longSound, 1.0, true, 0, 0};
    manager->updateSources();
    EXPECT_EQ(table->instances[1].state, SoundInstance::Free);
    EXPECT_EQ(table->instances[0].state, SoundInstance::Playing);
    EXPECT_EQ(Mix_Playing(0), 1);
}

TEST_F(SoundManagerTest, AnUnknownSoundIdFinishesTheInstanceWithALine) {
    loaded("short.wav");
    EXPECT_TRUE(manager->hasSound(0));
    EXPECT_FALSE(manager->hasSound(1));
    EXPECT_FALSE(manager->hasSound(-1));
    add(5, SoundInstance::StartRequested, 1.0, false);
    add(-2, SoundInstance::StartRequested, 1.0, false);
    testing::internal::CaptureStderr();
    manager->updateSources();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(table->instances[0].state, SoundInstance::Finished);
    EXPECT_EQ(table->instances[1].state, SoundInstance::Finished);
    EXPECT_EQ(err, "SDLSoundManager::updateSources: bad sound id 5\nSDLSoundManager::updateSources: bad sound id -2\n");
}

TEST_F(SoundManagerTest, StopAllHaltsEveryChannelAndForgetsWaitingTags) {
    int32_t longSound = loaded("long.wav");
    add(longSound, SoundInstance::StartRequested, 1.0, true);
    add(longSound, SoundInstance::StartRequested, 1.0, false);
    manager->updateSources();
    ASSERT_EQ(Mix_Playing(-1), 2);
    manager->loadSound("slow.wav", 42);
    manager->stopAll();
    EXPECT_EQ(Mix_Playing(-1), 0);
    for (const SoundInstance& instance : table->instances) EXPECT_EQ(instance.state, SoundInstance::Free);
    ASSERT_TRUE(waitFor([&] { return manager->soundState(1) == SDLSound::Loaded; }));
    std::vector<int32_t> tags;
    manager->collectFinished(tags);
    EXPECT_TRUE(tags.empty());
}

TEST_F(SoundManagerTest, ShutdownWaitsForLoadersBeforeTheMixerCloses) {
    manager->loadSound("slow.wav", 1);
    manager->loadSound("long.wav", 2);
    manager->shutdown();
    // Both loaders have ended: their results are in, nothing runs behind the mixer's back.
    EXPECT_EQ(manager->soundState(0), SDLSound::Loaded);
    EXPECT_EQ(manager->soundState(1), SDLSound::Loaded);
}

TEST_F(SoundManagerTest, AnOggVorbisFileLoads) { EXPECT_EQ(manager->soundState(loaded("tone.ogg")), SDLSound::Loaded); }

TEST_F(SoundManagerTest, AStartTheMixerRefusesIsToldOnceThenCounted) {
    int32_t shortSound = loaded("short.wav");
    for (int i = 0; i < 100; ++i) add(shortSound, SoundInstance::StartRequested, 1.0, true);
    testing::internal::CaptureStderr();
    for (int frame = 0; frame < 12; ++frame) manager->updateSources(); // 84 refused a frame
    std::string err = testing::internal::GetCapturedStderr();
    std::string line = "SDLSoundManager::updateSources(): unable to start sound: " + dir.file("short.wav");
    EXPECT_EQ(err, line + "\n" + line + " (repeated 10 times)\n" + line + " (repeated 100 times)\n" + line +
                       " (repeated 1000 times)\n");
    EXPECT_EQ(Mix_Playing(-1), 16);
}

TEST_F(SoundManagerTest, ALoaderLeftBehindHoldsTheManagerUntilItsDecodeEnds) {
    // Ten silent minutes at 8 kHz take a while to convert to the mixer's rate.
    test::writeFile(dir.file("ten.wav"), wavBytes(600, 8000, 1, true));
    std::filesystem::resize_file(dir.file("ten.wav"), 44 + 8000 * 600 * 2);
    manager->loadSound("ten.wav", 1);
    SDL_Delay(100);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(manager->shutdown(std::chrono::milliseconds(0)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "SDLSoundManager::shutdown: 1 sound is still loading; left behind\n");
    // The loader's job holds the manager until the loader ends; what it decoded is freed, never kept.
    EXPECT_TRUE(waitFor([&] { return manager.use_count() == 1; }));
    EXPECT_EQ(manager->soundState(0), SDLSound::Loading);
    EXPECT_TRUE(manager->shutdown(std::chrono::milliseconds(0)));
}

// Fatal paths end the process, so each runs in a child with a mixer of its own.
void collectUntilTheEnd(SDLSoundManager& manager) {
    std::vector<int32_t> tags;
    waitFor([&] {
        manager.collectFinished(tags);
        return false;
    });
}

TEST(SoundManagerFailureTest, AFileThatCannotBePlayedEndsTheRunAtTheNextCollection) {
    test::TempDir dir;
    test::writeFile(dir.file("broken.wav"), "RIFF this is not a sound");
    test::writeFile(dir.file("empty.wav"), wavBytes(0, 22050, 2)); // a header and no samples
    // Files the engine cannot hold are refused, saying why, before any decoding; sparse ones cost no disk.
    test::writeFile(dir.file("bell.wav"), ""), std::filesystem::resize_file(dir.file("bell.wav"), 200ull << 30);
    test::writeFile(dir.file("night.wav"), wavBytes(8 * 3600, 22050, 1, true));
    std::filesystem::resize_file(dir.file("night.wav"), 44 + 22050 * 2 * 8 * 3600);
    mkfifo(dir.file("stuck.wav").c_str(), 0600);
    std::filesystem::create_symlink("/dev/zero", dir.file("zero.wav"));
    const std::pair<std::string, std::string> cases[] = {
        {"broken.wav", ""}, // the decoder's own reasons
        {"empty.wav", ""},
        {"bell.wav", "is 214748364800 bytes, more than the 2147483648 a sound file may be"},
        {"night.wav", "decodes to up to 28800 seconds of sound, more than the 3600 a sound may last"},
        {"stuck.wav", "is not a regular file but a FIFO"},
        {"zero.wav", "is not a regular file but a device"},
    };
    for (const auto& [name, why] : cases) {
        test::ChildResult child = test::runInChild([&, name = name] {
            openMixer();
            auto manager = makeManager(dir.path());
            manager->loadSound(name, 1);
            collectUntilTheEnd(*manager);
        });
        EXPECT_EQ(child.exitStatus, 1) << name;
        std::string line = "error loading " + dir.file(name) + " " + why;
        EXPECT_EQ(child.err.rfind(line, 0), 0u) << child.err;
        EXPECT_NE(child.err.find("\nerr: " + line), std::string::npos) << child.err;
        EXPECT_TRUE(why.empty() || child.err == line + "\nerr: " + line + "\n") << child.err;
    }
}

TEST(SoundManagerFailureTest, AMissingFileAndARepeatedRequestForAFailedPath) {
    test::TempDir dir;
    test::ChildResult child = test::runInChild([&] {
        openMixer();
        auto manager = makeManager(dir.path());
        manager->loadSound("missing.ogg", 1);
        collectUntilTheEnd(*manager);
    });
    EXPECT_EQ(child.exitStatus, 1);
    EXPECT_EQ(child.err.rfind("error loading " + dir.file("missing.ogg") + " ", 0), 0u) << child.err;

    child = test::runInChild([&] {
        openMixer();
        auto manager = makeManager(dir.path());
        manager->loadSound("missing.ogg", 1);
        waitFor([&] { return manager->soundState(0) == SDLSound::Failed; });
        manager->loadSound("missing.ogg", 2);
    });
    EXPECT_EQ(child.exitStatus, 1);
    EXPECT_EQ(child.err, "err: Attempting to load nonexistent path: " + dir.file("missing.ogg") + "\n");
}

TEST(SoundManagerFailureTest, WithoutAnAudioDeviceARequestFailsWithAClearMessage) {
    test::TempDir dir;
    test::writeFile(dir.file("tone.wav"), wavBytes(0.05, 22050, 2));
    test::ChildResult child = test::runInChild([&] {
        auto manager = makeManager(dir.path());
        manager->setAudioUnavailable("dsp: No such audio device");
        auto [index, pending] = manager->loadSound("tone.wav", 3);
        std::cout << "requested " << index << " " << pending << std::endl;
        collectUntilTheEnd(*manager);
    });
    EXPECT_EQ(child.exitStatus, 1);
    EXPECT_EQ(child.out, "requested 0 1\n");
    std::string text = "error loading " + dir.file("tone.wav") + " no audio device: dsp: No such audio device";
    EXPECT_EQ(child.err, text + "\nerr: " + text + "\n");
}

TEST(SoundManagerFailureTest, ALoaderThreadThatCannotStartIsALoadError) {
    test::TempDir dir;
    test::writeFile(dir.file("tone.wav"), wavBytes(0.05, 22050, 2));
    test::ChildResult child = test::runInChild([&] {
        openMixer();
        // A stack no machine can give makes thread creation fail.
        SDL_SetHint(SDL_HINT_THREAD_STACK_SIZE, "4611686018427387904");
        auto manager = makeManager(dir.path());
        manager->loadSound("tone.wav", 3);
        collectUntilTheEnd(*manager);
    });
    EXPECT_EQ(child.exitStatus, 1);
    EXPECT_EQ(child.err.rfind("error loading " + dir.file("tone.wav") + " unable to start a loader thread: ", 0), 0u)
        << child.err;
}

} // namespace
} // namespace hv
