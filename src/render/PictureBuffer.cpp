#include "render/PictureBuffer.h"

#include "core/Fatal.h"
#include "render/RendererBackend.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace hv {

bool PictureBuffer::init(std::shared_ptr<PictureBufferTarget> target) {
    target_ = std::move(target);
    fullUploadNeeded_ = true;
    anyDirty_ = true;
    vertices_->clear();
    indices_->clear();
    return true;
}

uint64_t PictureBuffer::allocateSlot(uint64_t n, uint64_t m) {
    // Any allocation, reuse included, changes the layout: the next sync sends everything.
    fullUploadNeeded_ = true;
    anyDirty_ = true;

    auto taken = freeSlots_.end();
    // An exact index capacity first, so index storage stays tight.
    for (auto it = freeSlots_.begin(); it != freeSlots_.end(); ++it) {
        const PictureBufferRegion& r = regions_[*it];
        if (r.indexCapacity == n && r.vertexCapacity >= m) {
            taken = it;
            break;
        }
    }
    if (taken == freeSlots_.end()) {
        for (auto it = freeSlots_.begin(); it != freeSlots_.end(); ++it) {
            const PictureBufferRegion& r = regions_[*it];
            if (r.indexCapacity >= n && r.vertexCapacity >= m) {
                taken = it;
                break;
            }
        }
    }

    uint64_t slot;
    if (taken != freeSlots_.end()) {
        slot = *taken;
        freeSlots_.erase(taken);
    } else {
        PictureBufferRegion r;
        r.indexStart = indices_->size();
        r.vertexStart = vertices_->size();
        r.indexCapacity = n;
        r.vertexCapacity = m;
        indices_->resize(indices_->size() + n, 0);
        vertices_->resize(vertices_->size() + m, PictureVertex());
        slot = regions_.size();
        regions_.push_back(r);
    }
    PictureBufferRegion& r = regions_[slot];
    r.indexCount = n;
    r.vertexCount = m;
    r.dirty = true;
    return slot;
}

uint64_t PictureBuffer::addRegion(uint64_t indexCount, uint64_t vertexCount) {
    regionSlots_.push_back(allocateSlot(indexCount, vertexCount));
    return regionSlots_.size() - 1;
}

void PictureBuffer::resizeRegion(uint64_t regionIndex, uint64_t n, uint64_t m) {
    if (regionIndex >= regionSlots_.size()) {
        std::ostringstream message;
        message << "PictureBuffer::resizeRegion: " << static_cast<const void*>(this) << " regionIndex " << regionIndex;
        // An empty buffer has no last index to name.
        if (regionSlots_.empty()) {
            message << " out of range (no regions)";
        } else {
            message << " out of range (0 - " << regionSlots_.size() - 1 << ")";
        }
        exitWithLine(message.str());
    }
    PictureBufferRegion& r = regions_[regionSlots_[regionIndex]];
    bool fits = true;
    if (r.indexCapacity < n) {
        fits = false;
    } else {
        r.indexCount = n;
    }
    if (r.vertexCapacity < m) {
        fits = false;
    } else {
        r.vertexCount = m;
    }
    if (!fits) {
        freeSlots_.push_back(regionSlots_[regionIndex]);
        uint64_t slot = allocateSlot(n, m);
        regionSlots_[regionIndex] = slot;
    }
}

PictureVertex* PictureBuffer::vertexData(uint64_t regionIndex) {
    PictureBufferRegion& r = regions_[regionSlots_[regionIndex]];
    r.dirty = true;
    anyDirty_ = true;
    return vertices_->data() + r.vertexStart;
}

void PictureBuffer::importIndexData(const uint32_t* source, uint64_t regionIndex) {
    if (regionIndex >= regionSlots_.size()) {
        std::cerr << "PictureBuffer::importIndexData: regionIndex out of range" << std::endl;
        return;
    }
    PictureBufferRegion& r = regions_[regionSlots_[regionIndex]];
    uint32_t* out = indices_->data() + r.indexStart;
    uint32_t offset = uint32_t(r.vertexStart);
    for (uint64_t i = 0; i < r.indexCount; ++i) out[i] = source[i] + offset;
    r.dirty = true;
}

Range PictureBuffer::indexOffset(uint64_t regionIndex, const Range& local) const {
    return Range(local.start + regions_[regionSlots_[regionIndex]].indexStart, local.count);
}

uint64_t PictureBuffer::regionVertexCount(uint64_t regionIndex) const {
    return regions_[regionSlots_[regionIndex]].vertexCount;
}

void PictureBuffer::sync() {
    if (!anyDirty_) return;
    if (fullUploadNeeded_) {
        target_->uploadEntireBuffer(*vertices_, *indices_);
        for (PictureBufferRegion& r : regions_) r.dirty = false;
    } else {
        for (PictureBufferRegion& r : regions_) {
            if (!r.dirty) continue;
            target_->uploadVertexData(r.vertexStart, r.vertexCount, vertices_->data() + r.vertexStart);
            target_->uploadIndexData(r.indexStart, r.indexCount, indices_->data() + r.indexStart);
            r.dirty = false;
        }
    }
    fullUploadNeeded_ = false;
    anyDirty_ = false;
}

bool PictureBuffer::makeContiguous(const std::vector<uint64_t>& regionIndices) {
    // A repeated region would be laid out twice and own two slots.
    std::vector<bool> listed(regionSlots_.size(), false);
    for (uint64_t index : regionIndices) {
        if (index >= regionSlots_.size()) {
            std::cerr << "PictureBuffer::makeContiguous: regionIndex " << index << " out of range" << std::endl;
            return false;
        }
        if (listed[index]) {
            std::cerr << "PictureBuffer::makeContiguous: regionIndex " << index << " listed twice" << std::endl;
            return false;
        }
        listed[index] = true;
    }

    bool contiguous = true;
    for (size_t k = 0; k < regionIndices.size() && contiguous; ++k) {
        const PictureBufferRegion& r = regions_[regionSlots_[regionIndices[k]]];
        if (r.indexCount != r.indexCapacity) contiguous = false;
        if (k > 0) {
            const PictureBufferRegion& p = regions_[regionSlots_[regionIndices[k - 1]]];
            if (r.indexStart != p.indexStart + p.indexCapacity) contiguous = false;
        }
    }
    if (contiguous) return true;

    std::vector<uint64_t> newSlots(regionSlots_.size(), 0);
    std::vector<PictureBufferRegion> newRegions;
    newRegions.reserve(regionSlots_.size());
    std::vector<uint32_t>& scratch = *scratchIndices_;
    scratch.resize(indices_->size());
    uint64_t write = 0;

    auto move = [&](uint64_t regionIndex) {
        const PictureBufferRegion& old = regions_[regionSlots_[regionIndex]];
        std::copy_n(indices_->begin() + std::ptrdiff_t(old.indexStart), old.indexCount,
                    scratch.begin() + std::ptrdiff_t(write));
        PictureBufferRegion r;
        r.dirty = true;
        r.indexStart = write;
        r.indexCapacity = old.indexCount;
        r.indexCount = old.indexCount;
        r.vertexCapacity = old.vertexCapacity;
        r.vertexCount = old.vertexCount;
        r.vertexStart = old.vertexStart;
        newSlots[regionIndex] = newRegions.size();
        newRegions.push_back(r);
        write += old.indexCount;
    };
    for (uint64_t index : regionIndices) move(index);
    for (uint64_t index = 0; index < regionSlots_.size(); ++index) {
        if (!listed[index]) move(index);
    }

    scratch.resize(write);
    freeSlots_.clear(); // their vertex storage stays in the array, no longer addressed
    regionSlots_ = std::move(newSlots);
    regions_ = std::move(newRegions);
    std::swap(indices_, scratchIndices_);
    fullUploadNeeded_ = true;
    // The new layout must reach the GPU at the next sync, not after some later write.
    anyDirty_ = true;
    return true;
}

} // namespace hv
