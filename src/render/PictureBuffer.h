#pragma once

#include "core/Range.h"
#include "render/PictureVertex.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace hv {

class PictureBufferTarget;

// One storage slot of a picture buffer: capacities it owns in both arrays and the counts in use.
struct PictureBufferRegion {
    bool dirty = false; // changed since the last upload
    uint64_t indexCapacity = 0;
    uint64_t indexCount = 0;
    uint64_t indexStart = 0;
    uint64_t vertexCapacity = 0;
    uint64_t vertexCount = 0;
    uint64_t vertexStart = 0;
};

// CPU-side vertices and indices of one picture instance (or the background), divided into
// regions, one per drawn path, with a GPU copy behind a PictureBufferTarget. Indices hold
// absolute vertex numbers, so any run of the index array can be drawn with one call and
// neighbouring regions can be merged into one draw.
class PictureBuffer {
public:
    bool init(std::shared_ptr<PictureBufferTarget> target);

    // A region handle never changes and is never reused; the slot behind it may.
    uint64_t addRegion(uint64_t indexCount, uint64_t vertexCount);
    // Moves the region to another slot when it does not fit; its old data is not copied.
    void resizeRegion(uint64_t regionIndex, uint64_t indexCount, uint64_t vertexCount);
    // Marks the region dirty. Valid until the next allocation grows the arrays.
    PictureVertex* vertexData(uint64_t regionIndex);
    // Copies the region's indexCount indices, offset by its first vertex number.
    void importIndexData(const uint32_t* source, uint64_t regionIndex);
    Range indexOffset(uint64_t regionIndex, const Range& local) const;
    uint64_t regionVertexCount(uint64_t regionIndex) const;
    std::shared_ptr<PictureBufferTarget> target() const { return target_; }

    // Uploads what changed: everything after an allocation, else only the dirty slots.
    void sync();

    // Lays the listed regions' indices out back to back in list order, the others after
    // them. Refuses a list with a repeated or unknown region.
    bool makeContiguous(const std::vector<uint64_t>& regionIndices);

    const std::vector<PictureVertex>& vertices() const { return *vertices_; }
    const std::vector<uint32_t>& indices() const { return *indices_; }
    const PictureBufferRegion& region(uint64_t regionIndex) const { return regions_[regionSlots_[regionIndex]]; }
    uint64_t regionCount() const { return regionSlots_.size(); }
    const std::vector<uint64_t>& freeSlots() const { return freeSlots_; }
    bool fullUploadNeeded() const { return fullUploadNeeded_; }
    bool anyDirty() const { return anyDirty_; }

private:
    uint64_t allocateSlot(uint64_t indexCount, uint64_t vertexCount);

    bool fullUploadNeeded_ = true;
    bool anyDirty_ = true;
    std::shared_ptr<PictureBufferTarget> target_;
    std::vector<uint64_t> regionSlots_;
    std::vector<PictureBufferRegion> regions_;
    std::vector<uint64_t> freeSlots_;
    std::shared_ptr<std::vector<PictureVertex>> vertices_ = std::make_shared<std::vector<PictureVertex>>();
    std::shared_ptr<std::vector<uint32_t>> indices_ = std::make_shared<std::vector<uint32_t>>();
    std::shared_ptr<std::vector<uint32_t>> scratchIndices_ = std::make_shared<std::vector<uint32_t>>();
};

} // namespace hv
