#pragma once

#include "core/PlatformBackend.h"
#include "core/SoundManager.h"
#include "core/SoundTable.h"
#include "core/TypesetterBackend.h"

#include <memory>
#include <string>
#include <vector>

namespace hv::test {

// Typesets nothing: each paragraph becomes a 4x2 texture of one colour, made through the
// renderer it is given, with fractions that the test sets.
class FakeTypesetter : public TypesetterBackend {
public:
    int32_t loadFont(const std::string& name, double pointSize) override;
    std::pair<int32_t, double> lineMetrics(int32_t fontId) override;
    std::string generateTextBlock(ParagraphRecord& record, const std::string& text, int32_t alignment, int32_t fontId,
                                  RendererBackend& renderer, double wrapWidth) override;

    uint8_t textColour[4] = {255, 255, 255, 255};
    double widthFraction = 1.0;
    std::vector<std::string> texts; // every text typeset, in order
};

// Decodes nothing, over a real sound table. A new path is loaded at once, or, with
// `loadsWait` set, only when the test calls finishLoads; `advance` plays one frame the way the
// real manager's update does, without a mixer.
class FakeSoundManager : public SoundManager {
public:
    std::pair<int32_t, bool> loadSound(const std::string& path, int32_t tag) override;
    std::shared_ptr<SoundTable> soundTable() override { return table; }
    void stopAll() override;
    void collectFinished(std::vector<int32_t>& tags) override;
    bool hasSound(int64_t sound) const override { return sound >= 0 && uint64_t(sound) < paths.size(); }

    // Every pending load ends; its waiting tags come back through collectFinished.
    void finishLoads();
    // Requested instances start playing, stop requests free their slot, and the instances
    // listed in `ending` (playing ones) finish.
    void advance(const std::vector<size_t>& ending = {});

    std::shared_ptr<SoundTable> table = std::make_shared<SoundTable>();
    bool loadsWait = false;
    std::vector<std::string> paths;   // by sound id
    std::vector<bool> loading;        // by sound id
    std::vector<int32_t> waitingTags; // of loads still pending
    std::vector<int32_t> finishedTags;
    int32_t stopAllCount = 0;
};

class FakePlatform : public PlatformBackend {
public:
    double getBrightness() override { return brightness; }
    void setBrightness(double b) override { brightness = b; }
    void setTitle(const std::string& t) override { title = t; }
    void setCursor(int32_t kind) override { cursor = kind; }
    std::shared_ptr<SoundManager> soundManager() override {
        return realSoundManager ? realSoundManager : std::shared_ptr<SoundManager>(soundManagerBackend);
    }
    std::shared_ptr<RendererBackend> renderer() override { return rendererBackend; }
    std::shared_ptr<TypesetterBackend> typesetter() override { return typesetterBackend; }

    double brightness = 1.0;
    std::string title;
    int32_t cursor = 0;
    std::shared_ptr<RendererBackend> rendererBackend;
    std::shared_ptr<FakeTypesetter> typesetterBackend = std::make_shared<FakeTypesetter>();
    std::shared_ptr<FakeSoundManager> soundManagerBackend = std::make_shared<FakeSoundManager>();
    // When set, the platform plays through this manager instead of the fake one.
    std::shared_ptr<SoundManager> realSoundManager;
};

} // namespace hv::test
