#include "render/PictureBuffer.h"
#include "support/ChildProcess.h"
#include "support/RecordingBackend.h"

#include <gtest/gtest.h>

#include <random>

namespace hv {
namespace {

using test::BackendCall;
using test::RecordingBackend;
using test::RecordingTarget;

struct BufferFixture : ::testing::Test {
    std::shared_ptr<RecordingBackend> backend = std::make_shared<RecordingBackend>();
    std::shared_ptr<RecordingTarget> target;
    PictureBuffer buffer;

    void SetUp() override {
        target = std::static_pointer_cast<RecordingTarget>(backend->createPictureBufferTarget());
        ASSERT_TRUE(buffer.init(target));
        backend->calls.clear();
    }

    // Every region's used indices and vertices are on the GPU as on the CPU. (Capacity a
    // region does not use is not sent.)
    void expectMirrorMatches() {
        ASSERT_EQ(target->indices.size(), buffer.indices().size());
        ASSERT_EQ(target->vertices.size(), buffer.vertices().size());
        for (uint64_t r = 0; r < buffer.regionCount(); ++r) {
            const PictureBufferRegion& slot = buffer.region(r);
            for (uint64_t i = slot.indexStart; i < slot.indexStart + slot.indexCount; ++i) {
                ASSERT_EQ(target->indices[i], buffer.indices()[i]) << "index " << i << " of region " << r;
            }
            for (uint64_t i = slot.vertexStart; i < slot.vertexStart + slot.vertexCount; ++i) {
                const PictureVertex& a = target->vertices[i];
                const PictureVertex& b = buffer.vertices()[i];
                ASSERT_TRUE(a.x == b.x && a.y == b.y && a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a &&
                            a.depth == b.depth)
                    << "vertex " << i << " of region " << r;
            }
        }
        EXPECT_EQ(target->outOfBoundsUploads, 0u);
    }
};

TEST_F(BufferFixture, RegionsAreLaidOutInOrder) {
    EXPECT_EQ(buffer.addRegion(6, 4), 0u);
    EXPECT_EQ(buffer.addRegion(3, 3), 1u);
    EXPECT_EQ(buffer.region(0).indexStart, 0u);
    EXPECT_EQ(buffer.region(0).vertexStart, 0u);
    EXPECT_EQ(buffer.region(1).indexStart, 6u);
    EXPECT_EQ(buffer.region(1).vertexStart, 4u);
    EXPECT_EQ(buffer.indices().size(), 9u);
    EXPECT_EQ(buffer.vertices().size(), 7u);
    EXPECT_EQ(buffer.indexOffset(1, Range(1, 2)), Range(7, 2));
    EXPECT_EQ(buffer.regionVertexCount(1), 3u);
    for (const PictureVertex& v : buffer.vertices()) EXPECT_TRUE(v.x == 0 && v.a == 0 && v.depth == 0);
}

TEST_F(BufferFixture, ImportedIndicesAreAbsolute) {
    buffer.addRegion(6, 4);
    buffer.addRegion(3, 3);
    const uint32_t local[3] = {0, 1, 2};
    buffer.importIndexData(local, 1);
    EXPECT_EQ(std::vector<uint32_t>(buffer.indices().begin() + 6, buffer.indices().end()),
              (std::vector<uint32_t>{4, 5, 6}));
}

TEST_F(BufferFixture, ImportIntoUnknownRegionChangesNothing) {
    buffer.addRegion(3, 3);
    const uint32_t local[3] = {7, 7, 7};
    testing::internal::CaptureStderr();
    buffer.importIndexData(local, 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "PictureBuffer::importIndexData: regionIndex out of range\n");
    EXPECT_EQ(buffer.indices(), (std::vector<uint32_t>{0, 0, 0}));
}

TEST_F(BufferFixture, ResizeWithinCapacityKeepsTheSlot) {
    buffer.addRegion(6, 4);
    buffer.addRegion(3, 3);
    buffer.sync();
    buffer.resizeRegion(0, 3, 2);
    EXPECT_EQ(buffer.region(0).indexStart, 0u);
    EXPECT_EQ(buffer.region(0).indexCount, 3u);
    EXPECT_EQ(buffer.region(0).indexCapacity, 6u);
    EXPECT_EQ(buffer.region(0).vertexCount, 2u);
    EXPECT_TRUE(buffer.freeSlots().empty());
    EXPECT_FALSE(buffer.anyDirty()) << "a resize that fits marks nothing";

    buffer.resizeRegion(0, 6, 5); // beyond the vertex capacity
    EXPECT_EQ(buffer.freeSlots(), (std::vector<uint64_t>{0}));
    EXPECT_EQ(buffer.region(0).indexStart, 9u);
    EXPECT_EQ(buffer.region(0).vertexStart, 7u);
    EXPECT_TRUE(buffer.fullUploadNeeded());
}

TEST_F(BufferFixture, FreeSlotWithExactIndexCapacityIsPreferred) {
    buffer.addRegion(9, 4);  // slot 0
    buffer.addRegion(6, 4);  // slot 1
    buffer.addRegion(1, 1);  // slot 2
    buffer.resizeRegion(0, 20, 4); // slot 0 freed
    buffer.resizeRegion(1, 20, 4); // slot 1 freed
    EXPECT_EQ(buffer.freeSlots(), (std::vector<uint64_t>{0, 1}));
    uint64_t r = buffer.addRegion(6, 2);
    EXPECT_EQ(buffer.region(r).indexStart, 9u) << "the capacity-6 slot, not the earlier capacity-9 one";
    EXPECT_EQ(buffer.freeSlots(), (std::vector<uint64_t>{0}));
    uint64_t s = buffer.addRegion(5, 4);
    EXPECT_EQ(buffer.region(s).indexStart, 0u) << "no exact fit: the first large enough";
    EXPECT_EQ(buffer.region(s).indexCount, 5u);
    EXPECT_TRUE(buffer.freeSlots().empty());
}

TEST_F(BufferFixture, SyncSendsWholeArraysAfterAllocationAndRunsOtherwise) {
    buffer.sync();
    ASSERT_EQ(backend->calls.size(), 1u);
    EXPECT_EQ(backend->calls[0].kind, BackendCall::UploadEntireBuffer) << "a new buffer uploads once, empty";

    buffer.addRegion(6, 4);
    buffer.addRegion(3, 3);
    buffer.sync();
    EXPECT_EQ(backend->countOf(BackendCall::UploadEntireBuffer), 2u);

    backend->calls.clear();
    buffer.sync();
    EXPECT_TRUE(backend->calls.empty()) << "nothing changed";

    buffer.resizeRegion(0, 3, 2);
    buffer.vertexData(0)[1].x = 5.0f;
    buffer.sync();
    ASSERT_EQ(backend->calls.size(), 2u);
    EXPECT_EQ(backend->calls[0].describe(), "uploadVertexData(0, 2)") << "used counts, not capacities";
    EXPECT_EQ(backend->calls[1].describe(), "uploadIndexData(0, 3)");
    expectMirrorMatches();
}

TEST_F(BufferFixture, MakeContiguousOrdersListedRegionsFirst) {
    buffer.addRegion(3, 3);
    buffer.addRegion(6, 4);
    buffer.addRegion(3, 3);
    const uint32_t tri[6] = {0, 1, 2, 2, 1, 0};
    for (uint64_t r = 0; r < 3; ++r) buffer.importIndexData(tri, r);
    buffer.resizeRegion(1, 3, 3); // leaves spare capacity
    buffer.sync();

    ASSERT_TRUE(buffer.makeContiguous({2, 0}));
    EXPECT_EQ(buffer.region(2).indexStart, 0u);
    EXPECT_EQ(buffer.region(0).indexStart, 3u);
    EXPECT_EQ(buffer.region(1).indexStart, 6u);
    EXPECT_EQ(buffer.region(1).indexCapacity, 3u);
    EXPECT_EQ(buffer.indices(), (std::vector<uint32_t>{7, 8, 9, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(buffer.region(2).vertexStart, 7u) << "vertices stay where they were";

    // The new layout reaches the GPU at the next sync, without waiting for some later write.
    EXPECT_TRUE(buffer.anyDirty());
    buffer.sync();
    EXPECT_EQ(backend->calls.back().kind, BackendCall::UploadEntireBuffer);
    expectMirrorMatches();

    // Already back to back without spare room: nothing changes.
    backend->calls.clear();
    ASSERT_TRUE(buffer.makeContiguous({2, 0, 1}));
    EXPECT_FALSE(buffer.anyDirty());
    buffer.sync();
    EXPECT_TRUE(backend->calls.empty());
}

TEST_F(BufferFixture, MakeContiguousRefusesRepeatedOrUnknownRegions) {
    buffer.addRegion(3, 3);
    buffer.addRegion(3, 3);
    buffer.resizeRegion(0, 2, 3);
    auto indicesBefore = buffer.indices();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(buffer.makeContiguous({1, 1}));
    EXPECT_FALSE(buffer.makeContiguous({0, 5}));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("PictureBuffer::makeContiguous: regionIndex 1 listed twice"), std::string::npos);
    EXPECT_NE(err.find("PictureBuffer::makeContiguous: regionIndex 5 out of range"), std::string::npos);
    EXPECT_EQ(buffer.indices(), indicesBefore);
    EXPECT_EQ(buffer.region(1).indexStart, 3u);
}

TEST_F(BufferFixture, ResizingAnUnknownRegionIsFatal) {
    auto withRegions = test::runInChild([&] {
        buffer.addRegion(1, 1);
        buffer.addRegion(1, 1);
        buffer.resizeRegion(2, 1, 1);
    });
    EXPECT_EQ(withRegions.exitStatus, 1);
    EXPECT_NE(withRegions.err.find("PictureBuffer::resizeRegion: "), std::string::npos);
    EXPECT_NE(withRegions.err.find(" regionIndex 2 out of range (0 - 1)"), std::string::npos) << withRegions.err;

    // With no region at all there is no last index to name; nothing may wrap around.
    auto empty = test::runInChild([&] { buffer.resizeRegion(0, 1, 1); });
    EXPECT_EQ(empty.exitStatus, 1);
    EXPECT_NE(empty.err.find(" regionIndex 0 out of range (no regions)"), std::string::npos) << empty.err;
    EXPECT_EQ(empty.err.find("18446744073709551615"), std::string::npos);
}

TEST_F(BufferFixture, MirrorMatchesAfterAnySequence) {
    for (int seed = 0; seed < 100; ++seed) {
        SCOPED_TRACE(seed);
        SetUp();
        buffer = PictureBuffer();
        ASSERT_TRUE(buffer.init(target));
        std::mt19937 random{uint32_t(seed)};
        auto pick = [&](uint32_t n) { return uint64_t(random() % n); };

        for (int step = 0; step < 120; ++step) {
            uint64_t regions = buffer.regionCount();
            uint64_t what = pick(10);
            if (regions == 0 || what == 0) {
                uint64_t n = pick(12), m = pick(8);
                buffer.addRegion(n, m);
            } else if (what <= 2) {
                uint64_t r = pick(uint32_t(regions)), n = pick(14), m = pick(10);
                buffer.resizeRegion(r, n, m);
            } else if (what <= 5) {
                // A writer touches exactly its region's counts, as the renderer does.
                uint64_t r = pick(uint32_t(regions));
                const PictureBufferRegion& slot = buffer.region(r);
                std::vector<uint32_t> local(slot.indexCount);
                for (auto& i : local) i = uint32_t(pick(std::max<uint32_t>(1, uint32_t(slot.vertexCount))));
                buffer.importIndexData(local.data(), r);
                PictureVertex* v = buffer.vertexData(r);
                for (uint64_t k = 0; k < buffer.regionVertexCount(r); ++k) {
                    v[k].x = float(random() % 100);
                    v[k].r = uint8_t(random());
                    v[k].depth = float(step);
                }
            } else if (what == 6) {
                std::vector<uint64_t> all(regions);
                for (uint64_t i = 0; i < regions; ++i) all[i] = i;
                std::shuffle(all.begin(), all.end(), random);
                all.resize(pick(uint32_t(regions)) + 1);
                ASSERT_TRUE(buffer.makeContiguous(all));
            } else {
                buffer.sync();
                expectMirrorMatches();
            }

            // No two regions share storage.
            std::vector<bool> indexUsed(buffer.indices().size()), vertexUsed(buffer.vertices().size());
            for (uint64_t r = 0; r < buffer.regionCount(); ++r) {
                const PictureBufferRegion& slot = buffer.region(r);
                ASSERT_LE(slot.indexCount, slot.indexCapacity);
                ASSERT_LE(slot.vertexCount, slot.vertexCapacity);
                ASSERT_LE(slot.indexStart + slot.indexCapacity, indexUsed.size());
                ASSERT_LE(slot.vertexStart + slot.vertexCapacity, vertexUsed.size());
                for (uint64_t i = slot.indexStart; i < slot.indexStart + slot.indexCapacity; ++i) {
                    ASSERT_FALSE(indexUsed[i]) << "index " << i << " of region " << r;
                    indexUsed[i] = true;
                }
                for (uint64_t i = slot.vertexStart; i < slot.vertexStart + slot.vertexCapacity; ++i) {
                    ASSERT_FALSE(vertexUsed[i]) << "vertex " << i << " of region " << r;
                    vertexUsed[i] = true;
                }
            }
        }
        buffer.sync();
        expectMirrorMatches();
    }
}

} // namespace
} // namespace hv
