// The bookkeeping of a chapter's script contexts: holds, groups and saved animation settings.
#pragma once

#include <cstdint>
#include <vector>

namespace hv {

struct Animation;

// The animation settings a context starts its animations with, and its typeface.
struct ContextFrame {
    enum Timing : int32_t { Duration = 0, ScrollLimits = 1, SlidingBlock = 2 };

    struct ScrollLimitsBlock {
        double startRow = 0.0;    // fractional row index
        double endRow = 0.0;
        double startMargin = 0.0; // in view heights
        double endMargin = 0.0;
        int32_t type = 0;         // 0, 1 or 2
    };
    struct SlidingBlockBlock {
        int32_t canvas = 0;
        int32_t param = 0; // 0 to 2
    };

    bool animationEnabled = true;
    int32_t typeface = -1; // font id; -1 while none has been chosen
    ScrollLimitsBlock scrollLimits;
    SlidingBlockBlock slidingBlock;
    double duration = 0.3; // seconds
    int32_t timing = Duration;

    void setDuration(double seconds);
    void setScrollLimits(const ScrollLimitsBlock& block);
    void setSlidingBlock(const SlidingBlockBlock& block);
    // Copies the timing into a new animation before it starts.
    void applyTo(Animation& animation) const;
};

struct ContextGroup {
    bool blessed = false; // runs even when not on top of the group stack
};

struct Context {
    int32_t lrc = 0;        // holds; the context may run only at exactly 0
    int32_t threadRef = 0;  // Lua registry reference of the coroutine, kept by the book controller
    bool alive = true;
    bool waitingForMouse = false;
    std::vector<ContextFrame> frames; // the last is the current one
    uint64_t group = 0;
    // A registry reference owned by this context (the function hvkNewContext was given), freed
    // when the context ends; -1 when the function belongs to someone else (a chapter).
    int32_t ownedFunctionRef = -1;
};

class ContextTable {
public:
    enum Behaviour : int32_t { SameGroup = 0, NewGroup = 1, GivenGroup = 2 };

    ContextTable() { reset(); }

    void reset();
    int32_t addContext(int32_t behaviour, uint64_t group);
    // Fatal for an index at or above the count.
    void setCurrentContext(uint64_t index);
    uint64_t currentContextIndex() const { return currentContext_; }
    Context& currentContext() { return contexts_[currentContext_]; }
    ContextFrame& currentFrame() { return contexts_[currentContext_].frames.back(); }
    uint64_t contextCount() const { return contexts_.size(); }
    uint64_t groupCount() const { return groups_.size(); }
    Context& context(uint64_t index) { return contexts_[index]; }
    const Context& context(uint64_t index) const { return contexts_[index]; }
    bool isContextAlive(uint64_t index) const { return contexts_[index].alive; }
    bool isGroupActive(uint64_t index) const;
    void pushContextGroup(uint64_t group) { groupStack_.push_back(group); }
    void popContextGroup();
    void blessGroup(uint64_t group) { groups_[group].blessed = true; }
    void setAnimationEnabled(bool enabled) { currentFrame().animationEnabled = enabled; }
    void saveState();
    void restoreState();
    void holdContext(uint64_t index) { ++contexts_[index].lrc; }
    void releaseContext(uint64_t index);
    void waitMouseEvent();
    void deliverMouseEvent();
    void collectRunnable(std::vector<uint64_t>& out) const;
    void destroyContext(uint64_t index);

private:
    uint64_t currentContext_ = 0;
    std::vector<uint64_t> groupStack_;
    std::vector<ContextGroup> groups_;
    std::vector<Context> contexts_;
};

} // namespace hv
