#include "core/Reader.h"
#include "picture/Mesh.h"
#include "picture/PathCommand.h"
#include "support/Records.h"

#include <gtest/gtest.h>

#include <cstring>

namespace hv {
namespace {

Blob blobOf(const std::string& bytes) { return std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()); }

template <typename T>
void put(std::string& bytes, T value) {
    bytes.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

// Reads `bytes` with `read`, keeping standard error quiet; gives the result and the message.
template <typename ReadFn>
std::pair<bool, std::string> readQuietly(const std::string& bytes, ReadFn read) {
    BlobReader reader(blobOf(bytes));
    testing::internal::CaptureStderr();
    bool ok = read(reader);
    return {ok, testing::internal::GetCapturedStderr()};
}

Mesh triangle() {
    Mesh m;
    m.vertices = {0, 0, 1, 0, 0, 1};
    m.indices = {0, 1, 2};
    return m;
}

TEST(PathCommandRecordTest, SizesAndRoundTrip) {
    PathCommand cubic = PathCommand::cubicTo(1, 2, 3, 4, 5, 6);
    std::string bytes = test::writeToMemory([&](FILE* f) { return cubic.writeTo(f); });
    EXPECT_EQ(bytes.size(), 16u + 48u);
    std::string line = test::writeToMemory([](FILE* f) { return PathCommand::lineTo(7, 8).writeTo(f); });
    EXPECT_EQ(line.size(), 16u + 16u);

    BlobReader reader(blobOf(bytes + line));
    PathCommand a, b;
    ASSERT_TRUE(a.readFrom(reader));
    ASSERT_TRUE(b.readFrom(reader));
    EXPECT_EQ(a, cubic);
    EXPECT_EQ(b, PathCommand::lineTo(7, 8));
    EXPECT_EQ(reader.remaining(), 0u);
}

TEST(PathCommandRecordTest, RefusesMoreThanThreePoints) {
    std::string bytes;
    put<int32_t>(bytes, 3);
    put<int32_t>(bytes, 0);
    put<uint64_t>(bytes, 4);
    bytes.append(64, '\0');
    PathCommand c;
    auto [ok, message] = readQuietly(bytes, [&](Reader& r) { return c.readFrom(r); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(message, "PathCommand::writeTo: unable to read points\n");
}

TEST(PathCommandRecordTest, EveryTruncatedPrefixFails) {
    std::string bytes = test::writeToMemory([](FILE* f) { return PathCommand::cubicTo(1, 2, 3, 4, 5, 6).writeTo(f); });
    for (size_t n = 0; n < bytes.size(); ++n) {
        PathCommand c;
        auto [ok, message] = readQuietly(bytes.substr(0, n), [&](Reader& r) { return c.readFrom(r); });
        EXPECT_FALSE(ok) << n;
        EXPECT_EQ(message, n < 16 ? "PathCommand::readFrom: unable to read header\n"
                                  : "PathCommand::writeTo: unable to read points\n")
            << n;
    }
}

TEST(PathCommandRecordTest, WriteFailuresAreReported) {
    FILE* readOnly = std::fopen("/proc/self/cmdline", "r");
    ASSERT_NE(readOnly, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PathCommand::lineTo(1, 1).writeTo(readOnly));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "PathCommand::writeTo: unable to write header\n");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(triangle().serialiseTo(readOnly));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Mesh::serialiseTo: failed to write header\n");
    std::fclose(readOnly);
}

TEST(MeshRecordTest, LayoutAndRoundTrip) {
    Mesh mesh = triangle();
    std::string bytes = test::writeToMemory([&](FILE* f) { return mesh.serialiseTo(f); });
    ASSERT_EQ(bytes.size(), 8u + 8u + 24u + 8u + 12u);
    uint64_t v, sets, n;
    std::memcpy(&v, bytes.data(), 8);
    std::memcpy(&sets, bytes.data() + 8, 8);
    std::memcpy(&n, bytes.data() + 40, 8);
    EXPECT_EQ(v, 6u);
    EXPECT_EQ(sets, 1u);
    EXPECT_EQ(n, 3u);

    BlobReader reader(blobOf(bytes));
    Mesh back;
    ASSERT_TRUE(back.readFrom(reader));
    EXPECT_EQ(back.vertices, mesh.vertices);
    EXPECT_EQ(back.indices, mesh.indices);

    MeshWrapper entry;
    entry.mesh = std::make_shared<Mesh>(mesh);
    entry.frameRanges = {Range(0, 3), Range(0, 3)};
    std::string cached = test::writeToMemory([&](FILE* f) { return MeshCache::writeTo(entry, f); });
    EXPECT_EQ(cached.size(), 8u + bytes.size() + 32u);
    MeshWrapper entryBack;
    BlobReader cacheReader(blobOf(cached));
    ASSERT_TRUE(MeshCache::readFrom(entryBack, cacheReader));
    EXPECT_EQ(entryBack.frameRanges, entry.frameRanges);
    EXPECT_EQ(entryBack.mesh->indices, mesh.indices);
}

TEST(MeshRecordTest, NoIndicesAndNoVertices) {
    Mesh points;
    points.vertices = {1, 2, 3, 4};
    std::string bytes = test::writeToMemory([&](FILE* f) { return points.serialiseTo(f); });
    EXPECT_EQ(bytes.size(), 16u + 16u + 8u);
    BlobReader reader(blobOf(bytes));
    Mesh back;
    ASSERT_TRUE(back.readFrom(reader));
    EXPECT_TRUE(back.indices.empty());

    testing::internal::CaptureStderr();
    bool ok = true;
    std::string header = test::writeToMemory([&](FILE* f) { return Mesh().serialiseTo(f); }, &ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Mesh::serialiseTo: zero vertices\n");
    EXPECT_FALSE(ok);
    EXPECT_EQ(header.size(), 16u);

    testing::internal::CaptureStderr();
    test::writeToMemory([&](FILE* f) { return MeshCache::writeTo(MeshWrapper(), f); }, &ok);
    EXPECT_FALSE(ok) << "an entry without a mesh cannot be stored";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "MeshCache::writeTo: entry holds no mesh\n");
}

TEST(MeshRecordTest, RefusesBrokenContent) {
    std::string good = test::writeToMemory([](FILE* f) { return triangle().serialiseTo(f); });
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    };
    std::string twoSets = good;
    twoSets[8] = 2;
    std::string oddCount;
    put<uint64_t>(oddCount, 3);
    put<uint64_t>(oddCount, 1);
    oddCount.append(12, '\0');
    put<uint64_t>(oddCount, 0);
    std::string badIndex = good;
    badIndex[48 + 8] = 3; // second index points at vertex 3 of 0..2
    std::string hugeVertices;
    put<uint64_t>(hugeVertices, uint64_t(1) << 62);
    put<uint64_t>(hugeVertices, 1);
    std::string hugeIndices = good.substr(0, 40);
    put<uint64_t>(hugeIndices, UINT64_MAX / 2);
    const Case cases[] = {
        {"two index sets", twoSets, "Mesh::readFrom: only a single index set is supported now\n"},
        {"odd float count", oddCount, "Mesh::readFrom: failed to vertices\n"},
        {"index past the vertices", badIndex, "Mesh::readFrom: failed to read index set\n"},
        {"vertex count beyond the file", hugeVertices, "Mesh::readFrom: failed to vertices\n"},
        {"index count beyond the file", hugeIndices, "Mesh::readFrom: failed to read index set\n"},
    };
    for (const Case& c : cases) {
        Mesh m;
        auto [ok, message] = readQuietly(c.bytes, [&](Reader& r) { return m.readFrom(r); });
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(message, c.message) << c.what;
        EXPECT_LE(m.vertices.capacity(), c.bytes.size()) << c.what << ": allocated beyond the file's size";
    }
}

TEST(MeshCacheRecordTest, RefusesRangesAndCountsTheFileCannotHold) {
    MeshWrapper entry;
    entry.mesh = std::make_shared<Mesh>(triangle());
    entry.frameRanges = {Range(0, 3)};
    std::string good = test::writeToMemory([&](FILE* f) { return MeshCache::writeTo(entry, f); });

    std::string pastEnd = good;
    uint64_t start = 1;
    std::memcpy(pastEnd.data() + good.size() - 16, &start, 8); // 1 + 3 > 3 indices
    std::string wrapping = good;
    uint64_t hugeStart = UINT64_MAX - 1;
    std::memcpy(wrapping.data() + good.size() - 16, &hugeStart, 8);
    std::string hugeCount = good;
    uint64_t r = uint64_t(1) << 60;
    std::memcpy(hugeCount.data(), &r, 8);

    for (const std::string& bytes : {pastEnd, wrapping, hugeCount}) {
        MeshWrapper back;
        auto [ok, message] = readQuietly(bytes, [&](Reader& rd) { return MeshCache::readFrom(back, rd); });
        EXPECT_FALSE(ok);
        EXPECT_EQ(message, "MeshCache::writeTo: failed to read frame ranges\n");
        EXPECT_LE(back.frameRanges.size(), 1u);
    }
}

TEST(MeshCacheRecordTest, EveryTruncatedPrefixFails) {
    MeshWrapper entry;
    entry.mesh = std::make_shared<Mesh>(triangle());
    entry.frameRanges = {Range(0, 3), Range(0, 0)};
    std::string bytes = test::writeToMemory([&](FILE* f) { return MeshCache::writeTo(entry, f); });
    ASSERT_EQ(bytes.size(), 8u + 60u + 32u);
    // Each cut reports the record it falls in, also where the frame ranges that the entry
    // announces no longer fit in what is left.
    auto expected = [](size_t n) -> std::string {
        if (n < 8) return "MeshCache::writeTo: failed to read cache entry header\n";
        if (n < 24) return "Mesh::readFrom: failed to read header\n";
        if (n < 48) return "Mesh::readFrom: failed to vertices\n";
        if (n < 56) return "Mesh::readFrom: failed to read index set header\n";
        if (n < 68) return "Mesh::readFrom: failed to read index set\n";
        return "MeshCache::writeTo: failed to read frame ranges\n";
    };
    for (size_t n = 0; n < bytes.size(); ++n) {
        MeshWrapper back;
        auto [ok, message] = readQuietly(bytes.substr(0, n), [&](Reader& r) { return MeshCache::readFrom(back, r); });
        EXPECT_FALSE(ok) << n;
        EXPECT_EQ(message, expected(n)) << n;
    }
}

} // namespace
} // namespace hv
