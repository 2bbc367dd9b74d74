#pragma once

#include "core/PathProvider.h"
#include "core/SoundManager.h"
#include "host/RepeatedLine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct Mix_Chunk;
struct SDL_Thread;

namespace hv {

// One sound file, decoded whole.
struct SDLSound {
    enum State : int32_t { Loading = 0, Loaded = 1, Failed = 2 };

    std::string path;
    Mix_Chunk* chunk = nullptr;      // written by the loader before `state` turns Loaded
    std::vector<int32_t> waitingTags; // guarded by the manager's mutex
    std::atomic<int32_t> state{Loading};
    // A start the mixer refuses is retried every frame; its line is told once, then counted.
    RepeatedLine unableToStart{""}; // main thread only
};

// Decodes each newly requested file on a thread of its own and plays the sound table's
// instances on SDL2_mixer channels.
class SDLSoundManager : public SoundManager, public std::enable_shared_from_this<SDLSoundManager> {
public:
    ~SDLSoundManager() override;

    bool init();
    void setSoundTable(std::shared_ptr<SoundTable> table) { table_ = std::move(table); }
    void setPaths(std::shared_ptr<PathProvider> paths) { paths_ = std::move(paths); }
    // Called when the audio device could not be opened: every later new load fails with this
    // reason instead of trying the mixer.
    void setAudioUnavailable(const std::string& reason);

    std::pair<int32_t, bool> loadSound(const std::string& path, int32_t tag) override;
    std::shared_ptr<SoundTable> soundTable() override { return table_; }
    void stopAll() override;
    void collectFinished(std::vector<int32_t>& tags) override;
    bool hasSound(int64_t sound) const override;

    // Once a frame: starts, watches and stops the table's instances.
    void updateSources();
    // Waits up to `loaderWait` for the loader threads, halts every channel and frees the
    // decoded sounds; the host calls it before it closes the mixer. A load still running then
    // (a stalled mount, a long decode) is left behind with a line, so the run can end; from then
    // on no loader starts a decode. False while a loader left behind is still decoding: the
    // mixer must then stay open, for that loader goes on using it (and frees what it decoded).
    bool shutdown(std::chrono::milliseconds loaderWait = std::chrono::seconds(2));

    size_t soundCount() const { return sounds_.size(); }
    int32_t soundState(int32_t index) const { return sounds_[size_t(index)]->state.load(); }

private:
    struct LoaderJob {
        std::shared_ptr<SDLSoundManager> manager;
        std::shared_ptr<SDLSound> sound;
        int32_t index;
    };

    static int callback(void* job);
    void loaderEnded();
    void loadSoundInBackground(SDLSound& sound, int32_t index);
    void failLoad(SDLSound& sound, int32_t index, const std::string& text);
    void setVolume(const SoundInstance& instance) const;

    std::shared_ptr<SoundTable> table_;
    std::shared_ptr<PathProvider> paths_;
    std::vector<std::shared_ptr<SDLSound>> sounds_;
    std::vector<int32_t> finished_;
    std::vector<std::string> errors_;
    std::mutex mutex_;
    std::condition_variable loaderEnded_;
    int32_t runningLoaders_ = 0;       // guarded by the mutex
    int32_t decoding_ = 0;             // loaders inside the mixer; guarded by the mutex
    bool shutDown_ = false;            // guarded by the mutex
    std::vector<SDL_Thread*> loaders_; // main thread only
    std::string audioUnavailable_;
};

} // namespace hv
