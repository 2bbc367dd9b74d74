// The host's per-frame costs: driving 1,000 sound instances (and 10,000, most of them refused a
// channel), typesetting a paragraph, and the host's own work in one pass of the main loop
// (events, frame gate, tick, frame-rate sample).
#include "core/Variant.h"
#include "host/Options.h"
#include "host/SDLSoundManager.h"
#include "host/SDLTypesetter.h"
#include "host/SdlHost.h"
#include "render/ParagraphRecord.h"
#include "support/NullBackend.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <SDL_ttf.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>

namespace {

using namespace hv;

void headless() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
}

std::string scratchDirectory() {
    std::string dir = (std::filesystem::temp_directory_path() / "halvane-bench-host").string();
    std::filesystem::create_directories(dir + "/fonts");
    return dir;
}

// One second of silence, 16-bit stereo at the mixer's own rate.
void writeSilence(const std::string& path) {
    const uint32_t frames = 22050, dataSize = frames * 4;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out << "RIFF";
    u32(36 + dataSize);
    out << "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(22050);
    u32(22050 * 4);
    u16(4);
    u16(16);
    out << "data";
    u32(dataSize);
    std::string zeros(dataSize, '\0');
    out.write(zeros.data(), std::streamsize(zeros.size()));
}

// `count` looping instances of one sound on the host's 1,024 channels: those past the channels
// are refused a start every frame.
void updateSourcesOf(benchmark::State& state, size_t count) {
    headless();
    if (SDL_Init(SDL_INIT_AUDIO) != 0 || Mix_OpenAudio(22050, AUDIO_S16LSB, 2, 1024) != 0) {
        state.SkipWithError("no audio device");
        return;
    }
    Mix_AllocateChannels(1024);
    std::string dir = scratchDirectory();
    writeSilence(dir + "/silence.wav");
    auto manager = std::make_shared<SDLSoundManager>();
    manager->init();
    manager->setPaths(std::make_shared<PathProvider>(dir));
    auto table = std::make_shared<SoundTable>();
    manager->setSoundTable(table);
    int32_t sound = manager->loadSound("silence.wav", 0).first;
    while (manager->soundState(sound) == SDLSound::Loading) SDL_Delay(1);
    table->instances.resize(count);
    for (SoundInstance& instance : table->instances) {
        instance.state = SoundInstance::StartRequested;
        instance.sound = sound;
        instance.volume = 0.5;
        instance.loop = true;
    }
    manager->updateSources();
    if (size_t(Mix_Playing(-1)) != std::min<size_t>(count, 1024)) state.SkipWithError("not every channel plays");
    for (auto _ : state) manager->updateSources();
    manager->shutdown();
    Mix_CloseAudio();
    SDL_Quit();
}

// Every instance plays, looping: each frame checks and sets the volume of all of them.
void BM_UpdateSources1000Instances(benchmark::State& state) { updateSourcesOf(state, 1000); }
BENCHMARK(BM_UpdateSources1000Instances)->Unit(benchmark::kMicrosecond);

void BM_UpdateSources10000LoopingInstancesOn1024Channels(benchmark::State& state) { updateSourcesOf(state, 10000); }
BENCHMARK(BM_UpdateSources10000LoopingInstancesOn1024Channels)->Unit(benchmark::kMicrosecond);

void BM_TypesetParagraph500Characters(benchmark::State& state) {
    TTF_Init();
    std::string dir = scratchDirectory();
    std::filesystem::remove(dir + "/fonts/DejaVuSans.ttf");
    std::filesystem::create_symlink("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", dir + "/fonts/DejaVuSans.ttf");
    {
        SDLTypesetter typesetter;
        typesetter.init(std::make_shared<PathProvider>(dir));
        int32_t font = typesetter.loadFont("DejaVuSans", 28);
        if (font < 0) {
            state.SkipWithError("no font");
            return;
        }
        std::string text;
        const std::string words = "The tide came in over the flats and the birds lifted all at once. ";
        while (text.size() < 500) text += words;
        text.resize(500);
        bench::NullBackend renderer;
        for (auto _ : state) {
            ParagraphRecord record;
            typesetter.generateTextBlock(record, text, 2, font, renderer, 1200);
            benchmark::DoNotOptimize(record);
        }
    }
    TTF_Quit();
}
BENCHMARK(BM_TypesetParagraph500Characters)->Unit(benchmark::kMillisecond);

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// One pass of the main loop without the buffer swap and the sounds: drain the (empty) event
// queue, the frame gate, the tick event (dropped with its line while no book exists) and the
// frame-rate sample.
void BM_HostPassWithoutSwap(benchmark::State& state) {
    headless();
    std::string dir = scratchDirectory();
    std::ofstream(dir + "/paper.txt") << "size 64 base-frequency 4 frequency-multiplier 2 amplitude-count 3 "
                                         "attenuation 0.5 intensity 0.3\n";
    ParsedOptions options = parseOptions({"-small", "-nocache"});
    auto host = std::make_shared<SdlHost>();
    auto paths = std::make_shared<PathProvider>(dir);
    if (!host->init(options.configuration, paths, paths)) {
        state.SkipWithError("host start-up failed");
        return;
    }
    host->running = true;
    host->lastFpsTicks = SDL_GetTicks();
    NullBuffer sink;
    std::streambuf* out = std::cout.rdbuf(&sink);
    for (auto _ : state) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) host->handleSdlEvent(event);
        if (!host->skipFrame()) {
            host->tick();
            host->countFrame(SDL_GetTicks());
        }
        host->idleDelay();
    }
    std::cout.rdbuf(out);
    host->shutdown();
}
BENCHMARK(BM_HostPassWithoutSwap)->Unit(benchmark::kMicrosecond);

} // namespace
