// Sound instances of a chapter: playing a loaded sound, fading it, giving its slot back.
#include "chapter/ChapterController.h"

#include "core/SoundTable.h"

namespace hv {

namespace {

size_t freeSoundInstanceSlot(std::vector<SoundInstance>& instances) {
    for (size_t i = 0; i < instances.size(); ++i) {
        if (instances[i].state == SoundInstance::Free) return i;
    }
    instances.emplace_back();
    return instances.size() - 1;
}

} // namespace

int32_t ChapterController::playSound(int32_t sound, bool loop) {
    std::shared_ptr<SoundTable> table = soundTable();
    if (!table) return -1;
    size_t i = freeSoundInstanceSlot(table->instances);
    SoundInstance& instance = table->instances[i];
    instance = SoundInstance();
    instance.state = SoundInstance::StartRequested;
    instance.sound = sound;
    instance.volume = 0.0;
    instance.context = int64_t(contexts.currentContextIndex());
    instance.loop = loop;
    contexts.holdContext(contexts.currentContextIndex());
    return int32_t(i);
}

void ChapterController::setSoundVolume(int32_t soundInstance, double volume) {
    Animation a;
    contexts.currentFrame().applyTo(a);
    a.kind = Animation::SoundValue;
    a.instance = soundInstance;
    a.to[0] = volume;
    startAnimation(a);
}

void ChapterController::releaseSoundInstance(size_t index) {
    // Fades aimed at the slot go with it, so a sound that reuses the slot is not faded by them.
    for (size_t i = animations.size(); i-- > 0;) {
        if (animations[i].kind == Animation::SoundValue && animations[i].instance == int32_t(index)) removeAnimation(i);
    }
}

} // namespace hv
