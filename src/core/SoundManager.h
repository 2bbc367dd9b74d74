#pragma once

#include "core/SoundTable.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace hv {

class SoundManager {
public:
    // The sound's index for `path` (relative to the story directory) and whether the caller has
    // to wait for it to load; `tag` comes back through collectFinished when the load ends.
    virtual std::pair<int32_t, bool> loadSound(const std::string& path, int32_t tag) = 0;
    virtual std::shared_ptr<SoundTable> soundTable() = 0;
    virtual void stopAll() = 0;
    // Appends the tags released by loads that ended since the last call.
    virtual void collectFinished(std::vector<int32_t>& tags) = 0;
    // Whether `sound` is an index that loadSound handed out; a script's sound id is checked
    // with this before it reaches the table.
    virtual bool hasSound(int64_t sound) const = 0;
    virtual ~SoundManager() = default;
};

} // namespace hv
