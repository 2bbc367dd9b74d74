#include "support/FakePlatform.h"

#include "render/CoreRenderer.h"
#include "render/RendererBackend.h"

#include <algorithm>

namespace hv::test {

int32_t FakeTypesetter::loadFont(const std::string&, double) { return 0; }

std::pair<int32_t, double> FakeTypesetter::lineMetrics(int32_t) { return {2, 10.0}; }

std::string FakeTypesetter::generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t, int32_t,
                                              RendererBackend& renderer, double wrapWidth) {
    texts.push_back(text);
    uint8_t pixels[4 * 2 * 4];
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 4; ++k) pixels[i * 4 + k] = textColour[k];
    }
    record.textureId = renderer.newTexture(pixels, 4, 2);
    record.widthFraction = widthFraction;
    record.offsetFraction = 0.0;
    record.aspect = wrapWidth / 10.0;
    return "";
}

std::pair<int32_t, bool> FakeSoundManager::loadSound(const std::string& path, int32_t tag) {
    for (size_t i = 0; i < paths.size(); ++i) {
        if (paths[i] != path) continue;
        if (loading[i]) waitingTags.push_back(tag);
        return {int32_t(i), bool(loading[i])};
    }
    paths.push_back(path);
    loading.push_back(loadsWait);
    if (loadsWait) waitingTags.push_back(tag);
    return {int32_t(paths.size() - 1), loadsWait};
}

void FakeSoundManager::stopAll() {
    ++stopAllCount;
    waitingTags.clear();
    for (SoundInstance& instance : table->instances) instance.state = SoundInstance::Free;
}

void FakeSoundManager::collectFinished(std::vector<int32_t>& tags) {
    tags.insert(tags.end(), finishedTags.begin(), finishedTags.end());
    finishedTags.clear();
}

void FakeSoundManager::finishLoads() {
    for (size_t i = 0; i < loading.size(); ++i) loading[i] = false;
    finishedTags.insert(finishedTags.end(), waitingTags.begin(), waitingTags.end());
    waitingTags.clear();
}

void FakeSoundManager::advance(const std::vector<size_t>& ending) {
    for (size_t i = 0; i < table->instances.size(); ++i) {
        SoundInstance& instance = table->instances[i];
        bool ends = std::find(ending.begin(), ending.end(), i) != ending.end();
        if (instance.state == SoundInstance::Playing && ends) instance.state = SoundInstance::Finished;
        if (instance.state == SoundInstance::StopRequested) instance.state = SoundInstance::Free;
        if (instance.state == SoundInstance::StartRequested) instance.state = SoundInstance::Playing;
    }
}

} // namespace hv::test
