#include "chapter/ContextTable.h"

#include "chapter/Animation.h"
#include "core/Fatal.h"

#include <iostream>

namespace hv {

void ContextFrame::setDuration(double seconds) {
    duration = seconds;
    timing = Duration;
}

void ContextFrame::setScrollLimits(const ScrollLimitsBlock& block) {
    scrollLimits = block;
    timing = ScrollLimits;
}

void ContextFrame::setSlidingBlock(const SlidingBlockBlock& block) {
    slidingBlock = block;
    timing = SlidingBlock;
}

void ContextFrame::applyTo(Animation& animation) const {
    animation.driver = timing;
    if (timing == Duration) {
        animation.duration = duration;
        return;
    }
    if (timing == ScrollLimits) {
        animation.startRow = scrollLimits.startRow;
        animation.endRow = scrollLimits.endRow;
        animation.startMargin = scrollLimits.startMargin;
        animation.endMargin = scrollLimits.endMargin;
        animation.linkType = scrollLimits.type;
    } else {
        animation.slidingCanvas = slidingBlock.canvas;
        animation.slidingParam = slidingBlock.param;
    }
    // These drivers write a progress between 0 and 1 into the elapsed value.
    animation.elapsed = 0.0;
    animation.duration = 1.0;
}

void ContextTable::reset() {
    contexts_.clear();
    currentContext_ = 0;
    groups_.clear();
    groups_.push_back(ContextGroup());
    groupStack_.clear();
    groupStack_.push_back(0);
}

int32_t ContextTable::addContext(int32_t behaviour, uint64_t group) {
    auto index = int32_t(contexts_.size());
    uint64_t currentGroup = contexts_.empty() ? 0 : contexts_[currentContext_].group;
    Context context;
    if (behaviour == NewGroup) {
        context.group = groups_.size();
        groups_.push_back(ContextGroup());
    } else if (behaviour == GivenGroup) {
        context.group = group;
    } else {
        context.group = currentGroup;
    }
    // A new context inherits the settings and typeface of the one that made it. A current
    // context that has ended (the book script can end one before any chapter runs) has no
    // frames left, so its successor starts from the defaults.
    if (contexts_.empty() || contexts_[currentContext_].frames.empty()) {
        context.frames.push_back(ContextFrame());
    } else {
        context.frames.push_back(contexts_[currentContext_].frames.back());
    }
    contexts_.push_back(std::move(context));
    return index;
}

void ContextTable::setCurrentContext(uint64_t index) {
    if (index >= contexts_.size()) fatalError("Did not recognise context " + std::to_string(index));
    currentContext_ = index;
}

bool ContextTable::isGroupActive(uint64_t index) const {
    uint64_t g = contexts_[index].group;
    return groups_[g].blessed || g == groupStack_.back();
}

void ContextTable::popContextGroup() {
    if (groupStack_.size() == 1) fatalError("ContextTable::popContextGroup() no groups left");
    groupStack_.pop_back();
}

void ContextTable::saveState() {
    std::vector<ContextFrame>& frames = currentContext().frames;
    frames.push_back(frames.back());
}

void ContextTable::restoreState() {
    std::vector<ContextFrame>& frames = currentContext().frames;
    if (frames.size() == 1) fatalError("ContextTable::restoreState: restoring state too far");
    frames.pop_back();
}

void ContextTable::releaseContext(uint64_t index) {
    int32_t count = --contexts_[index].lrc;
    if (count < 0) std::cerr << "lrc negative for " << index << ", value = " << count << std::endl;
}

void ContextTable::waitMouseEvent() {
    Context& context = currentContext();
    if (context.waitingForMouse) return;
    context.waitingForMouse = true;
    ++context.lrc;
}

void ContextTable::deliverMouseEvent() {
    for (uint64_t i = 0; i < contexts_.size(); ++i) {
        if (!contexts_[i].waitingForMouse) continue;
        contexts_[i].waitingForMouse = false;
        releaseContext(i);
    }
}

void ContextTable::collectRunnable(std::vector<uint64_t>& out) const {
    for (uint64_t i = 0; i < contexts_.size(); ++i) {
        if (contexts_[i].alive && contexts_[i].lrc == 0) out.push_back(i);
    }
}

void ContextTable::destroyContext(uint64_t index) {
    Context& context = contexts_[index];
    context.frames.clear();
    context.lrc = 0;
    context.alive = false;
    // A dead context waiting for the pointer would be released below zero by the next event.
    context.waitingForMouse = false;
}

} // namespace hv
