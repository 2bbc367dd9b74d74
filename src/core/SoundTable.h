#pragma once

#include <cstdint>
#include <vector>

namespace hv {

// One requested playback. The chapter runtime writes requests; the sound manager carries them
// out once a frame.
struct SoundInstance {
    enum State : int32_t { Free = 0, StartRequested = 1, Playing = 2, Finished = 3, StopRequested = 4 };

    int32_t state = Free;
    int64_t sound = 0;   // index of the sound in the manager
    double volume = 0.0; // the instance's own volume, 0..1
    bool loop = false;
    int64_t context = 0; // the script context that waits for the instance
    int32_t channel = 0; // mixer channel while playing
};

// The sounds in play. Slots are reused, never removed.
struct SoundTable {
    std::vector<SoundInstance> instances;
    double masterVolume = 1.0;
};

} // namespace hv
