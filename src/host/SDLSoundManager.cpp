#include "host/SDLSoundManager.h"

#include "core/Failure.h"
#include "core/Fatal.h"
#include "core/ResourcePaths.h"
#include "host/SoundFile.h"
#include "host/StopSignals.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cmath>
#include <iostream>

namespace hv {

SDLSoundManager::~SDLSoundManager() {
    // Without a shutdown the loaders may still run; they hold their own references, so let
    // them end on their own.
    for (SDL_Thread* thread : loaders_) SDL_DetachThread(thread);
}

bool SDLSoundManager::init() { return true; }

void SDLSoundManager::setAudioUnavailable(const std::string& reason) { audioUnavailable_ = reason; }

bool SDLSoundManager::hasSound(int64_t sound) const { return sound >= 0 && uint64_t(sound) < sounds_.size(); }

std::pair<int32_t, bool> SDLSoundManager::loadSound(const std::string& name, int32_t tag) {
    std::string path = paths_ ? joinPath(paths_->root, name) : name;
    for (size_t i = 0; i < sounds_.size(); ++i) {
        SDLSound& sound = *sounds_[i];
        if (sound.path != path) continue;
        // The state check and the tag go under one lock, so a load that ends meanwhile cannot
        // be collected before the tag is in place.
        std::unique_lock lock(mutex_);
        switch (sound.state.load()) {
        case SDLSound::Loading:
            sound.waitingTags.push_back(tag);
            return {int32_t(i), true};
        case SDLSound::Loaded:
            return {int32_t(i), false};
        default:
            lock.unlock();
            fatalError("Attempting to load nonexistent path: " + path);
        }
    }

    auto sound = std::make_shared<SDLSound>();
    sound->path = path;
    sound->unableToStart = RepeatedLine("SDLSoundManager::updateSources(): unable to start sound: " + path);
    sound->waitingTags.push_back(tag);
    int32_t index = int32_t(sounds_.size());
    sounds_.push_back(sound);

    if (!audioUnavailable_.empty()) {
        failLoad(*sound, index, "error loading " + path + " no audio device: " + audioUnavailable_);
        return {index, true};
    }
    auto* job = new LoaderJob{shared_from_this(), sound, index};
    {
        std::lock_guard lock(mutex_);
        ++runningLoaders_;
    }
    SDL_Thread* thread = nullptr;
    {
        // Ctrl-C is the main thread's to take: its handler sets the running script's stop hook.
        StopSignalsBlocked blocked;
        thread = SDL_CreateThread(&SDLSoundManager::callback, "halvane.bgsoundload", job);
    }
    if (!thread) {
        std::string reason = SDL_GetError();
        delete job;
        loaderEnded();
        failLoad(*sound, index, "error loading " + path + " unable to start a loader thread: " + reason);
        return {index, true};
    }
    loaders_.push_back(thread);
    return {index, true};
}

int SDLSoundManager::callback(void* data) {
    auto* job = static_cast<LoaderJob*>(data);
    job->manager->loadSoundInBackground(*job->sound, job->index);
    job->manager->loaderEnded();
    // The job may hold the last reference to the manager.
    delete job;
    return 0;
}

void SDLSoundManager::loaderEnded() {
    std::lock_guard lock(mutex_);
    --runningLoaders_;
    loaderEnded_.notify_all();
}

namespace {

// Whether the mixer can ever play the chunk: it refuses one without a whole frame of its
// output format (the 44-byte header of an empty WAV decodes to such a chunk).
bool playable(const Mix_Chunk& chunk) {
    int frequency = 0, channels = 0;
    Uint16 format = 0;
    if (Mix_QuerySpec(&frequency, &format, &channels) == 0) return chunk.alen > 0;
    return chunk.alen > 0 && chunk.alen >= Uint32(SDL_AUDIO_BITSIZE(format) / 8 * channels);
}

} // namespace

void SDLSoundManager::loadSoundInBackground(SDLSound& sound, int32_t index) {
    // The file is checked before the mixer sees it, which reads only the bytes checked.
    std::string why;
    SDL_RWops* source = openCheckedSound(sound.path, why);
    if (!source) {
        failLoad(sound, index, "error loading " + sound.path + " " + why);
        return;
    }
    {
        // Once shut down the mixer may close at any moment: no decode starts then.
        std::lock_guard lock(mutex_);
        if (shutDown_) {
            SDL_RWclose(source);
            return;
        }
        ++decoding_;
    }
    // Decoding is the slow part and runs without the lock.
    Mix_Chunk* chunk = Mix_LoadWAV_RW(source, 1);
    std::string error;
    if (!chunk) {
        const char* text = SDL_GetError();
        error = "error loading " + sound.path + " " + (text && *text ? text : "(no error description returned)");
    } else if (!playable(*chunk)) {
        Mix_FreeChunk(chunk);
        chunk = nullptr;
        error = "error loading " + sound.path + " decodes to no sound that can be played";
    }
    std::unique_lock lock(mutex_);
    --decoding_;
    if (shutDown_) {
        // Left behind at shutdown: nobody will play or free it. The host kept the mixer open
        // while this loader was decoding.
        if (chunk) Mix_FreeChunk(chunk);
        return;
    }
    if (!chunk) {
        lock.unlock();
        failLoad(sound, index, error);
        return;
    }
    sound.chunk = chunk;
    sound.state.store(SDLSound::Loaded);
    finished_.push_back(index);
}

void SDLSoundManager::failLoad(SDLSound& sound, int32_t index, const std::string& text) {
    std::lock_guard lock(mutex_);
    errors_.push_back(text);
    sound.state.store(SDLSound::Failed);
    finished_.push_back(index);
}

void SDLSoundManager::collectFinished(std::vector<int32_t>& tags) {
    std::unique_lock lock(mutex_);
    for (int32_t index : finished_) {
        std::vector<int32_t>& waiting = sounds_[size_t(index)]->waitingTags;
        tags.insert(tags.end(), waiting.begin(), waiting.end());
        waiting.clear();
    }
    if (!errors_.empty()) {
        std::string text = errors_.front();
        lock.unlock();
        std::cerr << text << std::endl;
        fatalError(text);
    }
    finished_.clear();
    errors_.clear();
}

void SDLSoundManager::stopAll() {
    {
        std::lock_guard lock(mutex_);
        for (auto& sound : sounds_) sound->waitingTags.clear();
    }
    Mix_HaltChannel(-1);
    if (table_) {
        for (SoundInstance& instance : table_->instances) instance.state = SoundInstance::Free;
    }
}

void SDLSoundManager::setVolume(const SoundInstance& instance) const {
    // Clamped here: the mixer reads a negative volume as "leave it", and the script keeps the
    // master volume it set.
    double volume = 128.0 * table_->masterVolume * instance.volume;
    int level = !(volume > 0.0) ? 0 : volume >= 128.0 ? 128 : int(volume);
    Mix_Volume(instance.channel, level);
}

void SDLSoundManager::updateSources() {
    if (!table_) return;
    std::vector<SoundInstance>& instances = table_->instances;
    // Finished and stopped instances first: a channel they give up may be taken by a start
    // below, and must not be mistaken for theirs afterwards.
    for (SoundInstance& instance : instances) {
        if (instance.state == SoundInstance::Playing) {
            if (Mix_Playing(instance.channel) != 1) {
                instance.state = SoundInstance::Finished;
            } else {
                setVolume(instance);
            }
        } else if (instance.state == SoundInstance::StopRequested) {
            if (Mix_Playing(instance.channel) == 1) Mix_HaltChannel(instance.channel);
            instance.state = SoundInstance::Free;
        }
    }
    bool channelsLeft = true;
    for (SoundInstance& instance : instances) {
        if (instance.state != SoundInstance::StartRequested) continue;
        if (!hasSound(instance.sound)) {
            // Finished rather than dropped, so the context waiting for it is let go.
            std::cerr << "SDLSoundManager::updateSources: bad sound id " << instance.sound << std::endl;
            instance.state = SoundInstance::Finished;
            continue;
        }
        SDLSound& sound = *sounds_[size_t(instance.sound)];
        if (sound.state.load() != SDLSound::Loaded || !sound.chunk) continue;
        // Once the mixer has no channel left this frame, later starts would be refused as well.
        int channel = channelsLeft ? Mix_PlayChannelTimed(-1, sound.chunk, instance.loop ? -1 : 0, -1) : -1;
        if (channel < 0) {
            channelsLeft = false;
            sound.unableToStart.write(std::cerr);
            continue;
        }
        instance.channel = channel;
        instance.state = SoundInstance::Playing;
        setVolume(instance);
    }
}

bool SDLSoundManager::shutdown(std::chrono::milliseconds loaderWait) {
    int32_t leftBehind = 0;
    bool decoding = false;
    {
        std::unique_lock lock(mutex_);
        loaderEnded_.wait_for(lock, loaderWait, [&] { return runningLoaders_ == 0; });
        leftBehind = runningLoaders_;
        decoding = decoding_ > 0;
        shutDown_ = true;
    }
    for (SDL_Thread* thread : loaders_) {
        if (leftBehind == 0) {
            SDL_WaitThread(thread, nullptr);
        } else {
            SDL_DetachThread(thread);
        }
    }
    loaders_.clear();
    if (leftBehind > 0) {
        writeFailureLine("SDLSoundManager::shutdown: " + std::to_string(leftBehind) +
                         (leftBehind == 1 ? " sound is" : " sounds are") + " still loading; left behind");
    }
    Mix_HaltChannel(-1);
    std::lock_guard lock(mutex_);
    for (auto& sound : sounds_) {
        if (sound->chunk) Mix_FreeChunk(sound->chunk);
        sound->chunk = nullptr;
    }
    return !decoding;
}

} // namespace hv
