#include "core/Reader.h"
#include "support/Records.h"
#include "svg/RawSvgCache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>

namespace hv {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

std::shared_ptr<MeshWrapper> triangleEntry() {
    auto entry = std::make_shared<MeshWrapper>();
    entry->mesh = std::make_shared<Mesh>();
    entry->mesh->vertices = {0, 0, 1, 0, 0, 1};
    entry->mesh->indices = {0, 1, 2};
    return entry;
}

RawSvgShape doorShape() {
    RawSvgShape shape;
    shape.name = "door";
    shape.colour = "ff00007f";
    shape.pathCommands = {PathCommand::moveTo(1, 2), PathCommand::cubicTo(3, 4, 5, 6, 7, 8)};
    shape.meshCache = triangleEntry();
    return shape;
}

std::string bytesOf(const RawSvgFile& file) {
    bool ok = false;
    std::string bytes = test::writeToMemory([&](FILE* f) { return writeRawSvgFile(f, file); }, &ok);
    EXPECT_TRUE(ok);
    return bytes;
}

std::optional<RawSvgFile> readBytes(const std::string& bytes) {
    BlobReader reader(std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()));
    return readRawSvgFile(reader);
}

template <typename T>
void put(std::string& bytes, size_t offset, T value) {
    std::memcpy(bytes.data() + offset, &value, sizeof(value));
}

TEST(RawSvgCacheTest, ShapeRecordLayout) {
    RawSvgShape shape = doorShape();
    bool ok = false;
    std::string bytes = test::writeToMemory([&](FILE* f) { return writeRawSvgShape(f, shape); }, &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(bytes.size(), 208u);
    EXPECT_EQ(bytes.substr(0, 12), std::string("\4\0\0\0\0\0\0\0door", 12));
    EXPECT_EQ(bytes.substr(12, 8), std::string(8, '\0')); // empty group: a zero count only
    EXPECT_EQ(bytes.substr(28, 8), "ff00007f");

    BlobReader reader(std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end()));
    auto [read, readOk] = readRawSvgShape(reader);
    ASSERT_TRUE(readOk);
    EXPECT_EQ(reader.remaining(), 0u);
    EXPECT_EQ(read.name, "door");
    EXPECT_EQ(read.group, "");
    EXPECT_EQ(read.colour, "ff00007f");
    EXPECT_EQ(read.pathCommands, shape.pathCommands);
    ASSERT_TRUE(read.meshCache && read.meshCache->mesh);
    EXPECT_EQ(read.meshCache->mesh->vertices, shape.meshCache->mesh->vertices);
    EXPECT_EQ(read.meshCache->mesh->indices, shape.meshCache->mesh->indices);
}

TEST(RawSvgCacheTest, FileRoundTripAndTrailingBytes) {
    RawSvgFile file;
    file.width = 12.5;
    file.height = 7;
    for (std::string name : {"a", "b", "c"}) {
        RawSvgShape shape = doorShape();
        shape.name = name;
        shape.group = name + "-group";
        shape.meshCache->frameRanges = {Range(0, 3), Range(0, 0)};
        file.shapes.push_back(shape);
    }
    std::string bytes = bytesOf(file) + "trailing bytes are ignored";
    auto read = readBytes(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->width, 12.5);
    EXPECT_EQ(read->height, 7);
    ASSERT_EQ(read->shapes.size(), 3u);
    EXPECT_EQ(read->shapes[2].name, "c");
    EXPECT_EQ(read->shapes[2].group, "c-group");
    EXPECT_EQ(read->shapes[2].meshCache->frameRanges.size(), 2u);
    EXPECT_EQ(read->shapes[2].elementId, "");
}

TEST(RawSvgCacheTest, NoShapesIsAPictureWithoutShapes) {
    RawSvgFile file;
    file.width = 3;
    file.height = 4;
    std::string bytes = bytesOf(file);
    EXPECT_EQ(bytes.size(), 24u);
    auto read = readBytes(bytes);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->shapes.empty());
    EXPECT_EQ(read->width, 3);
    EXPECT_EQ(read->height, 4);
}

TEST(RawSvgCacheTest, TruncatedAndOversizedRecordsAreRefused) {
    RawSvgFile file;
    for (int i = 0; i < 3; ++i) file.shapes.push_back(doorShape());
    std::string bytes = bytesOf(file);
    const size_t thirdShape = 24 + 2 * 208;

    struct Case {
        const char* what;
        std::string bytes;
        std::string messages;
    };
    std::string hugeName = bytes;
    put<uint64_t>(hugeName, 24, std::numeric_limits<uint64_t>::max() - 3);
    // Counts far beyond the data: the records are read until the data ends, and that record
    // reports, as with a file that is merely cut short.
    const size_t thirdCommands = thirdShape + 36 + 8;
    std::string hugeCommands = bytes.substr(0, thirdCommands + 32 + 64);
    put<uint64_t>(hugeCommands, thirdCommands - 8, uint64_t(1) << 60);
    std::string hugeShapes = bytes;
    put<uint64_t>(hugeShapes, 0, uint64_t(1) << 58);
    std::string fourPoints = bytes;
    put<uint64_t>(fourPoints, 24 + 44 + 8, 4);
    const Case cases[] = {
        {"inside the third shape's colour", bytes.substr(0, thirdShape + 12 + 8 + 8 + 3),
         "readString: failed: failed to read data\nreadRawSvgShape failed: failed to read colour\n"},
        {"inside the header", bytes.substr(0, 20), "readRawSvgFile: failed to read header\n"},
        {"before the second name's count", bytes.substr(0, 24 + 208 + 4),
         "readString: failed to read length\nreadRawSvgShape failed: failed to read name\n"},
        {"name count beyond the data", hugeName,
         "readString: failed: failed to read data\nreadRawSvgShape failed: failed to read name\n"},
        {"inside the first shape's first command", bytes.substr(0, 24 + 36 + 8 + 10),
         "PathCommand::readFrom: unable to read header\n"},
        {"just after the header", bytes.substr(0, 24 + 5),
         "readString: failed to read length\nreadRawSvgShape failed: failed to read name\n"},
        {"command count beyond the data", hugeCommands, "PathCommand::readFrom: unable to read header\n"},
        {"shape count beyond the data", hugeShapes,
         "readString: failed to read length\nreadRawSvgShape failed: failed to read name\n"},
        {"a command of four points", fourPoints, "PathCommand::writeTo: unable to read points\n"},
        {"inside the last mesh", bytes.substr(0, bytes.size() - 5), "Mesh::readFrom: failed to read index set\n"},
    };
    for (const Case& c : cases) {
        CaptureStderr();
        auto read = readBytes(c.bytes);
        EXPECT_FALSE(read) << c.what;
        EXPECT_EQ(GetCapturedStderr(), c.messages) << c.what;
    }
}

TEST(RawSvgCacheTest, NonFiniteSizesAndPointsAreRefusedByTheReaderAsByTheWriter) {
    RawSvgFile file{{doorShape()}, 3, 4};
    const std::string bytes = bytesOf(file);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const char *header = "readRawSvgFile: failed to read header\n", *points = "PathCommand::writeTo: unable to read points\n";
    // Width, height, the move's x, a control point's y and the cubic's end y.
    const std::tuple<size_t, double, std::string> cases[] = {{8, nan, header},  {16, inf, header},  {8, -inf, header},
                                                             {84, nan, points}, {124, inf, points}, {156, -inf, points}};
    for (const auto& [offset, value, message] : cases) {
        std::string spoilt = bytes;
        put<double>(spoilt, offset, value);
        CaptureStderr();
        EXPECT_FALSE(readBytes(spoilt)) << offset;
        EXPECT_EQ(GetCapturedStderr(), message) << offset;
    }
    file.height = nan;
    bool ok = true;
    CaptureStderr();
    EXPECT_EQ(test::writeToMemory([&](FILE* f) { return writeRawSvgFile(f, file); }, &ok), "");
    EXPECT_EQ(GetCapturedStderr(), "writeRawSvgFile: the picture size is not finite\n");
    EXPECT_FALSE(ok);
}

TEST(RawSvgCacheTest, WriterChecksEachShapeBeforeWritingIt) {
    struct Case {
        const char* what;
        void (*spoil)(RawSvgShape&);
        const char* problem;
    };
    const Case cases[] = {
        {"no entry", [](RawSvgShape& s) { s.meshCache.reset(); }, "has no mesh"},
        {"no mesh", [](RawSvgShape& s) { s.meshCache->mesh.reset(); }, "has no mesh"},
        {"no vertices", [](RawSvgShape& s) { s.meshCache->mesh->vertices.clear(); }, "has a mesh without vertices"},
        {"odd floats", [](RawSvgShape& s) { s.meshCache->mesh->vertices.push_back(1); },
         "has a mesh with an odd number of vertex floats"},
        {"index past vertices", [](RawSvgShape& s) { s.meshCache->mesh->indices[1] = 3; },
         "has a mesh index past its vertices"},
        {"range past indices", [](RawSvgShape& s) { s.meshCache->frameRanges = {Range(1, 3)}; },
         "has a frame range past its indices"},
        {"infinite point", [](RawSvgShape& s) { s.pathCommands[1].points[1].x = INFINITY; },
         "has a coordinate that is not finite"},
        {"unknown command", [](RawSvgShape& s) { s.pathCommands[0].type = 9; }, "has a command of unknown type"},
    };
    for (const Case& c : cases) {
        RawSvgShape shape = doorShape();
        shape.meshCache = triangleEntry();
        c.spoil(shape);
        bool ok = true;
        CaptureStderr();
        std::string bytes = test::writeToMemory([&](FILE* f) { return writeRawSvgShape(f, shape); }, &ok);
        EXPECT_EQ(GetCapturedStderr(), std::string("writeRawSvgShape: shape 'door' ") + c.problem + "\n") << c.what;
        EXPECT_FALSE(ok) << c.what;
        EXPECT_TRUE(bytes.empty()) << c.what;

        RawSvgFile file;
        file.shapes = {doorShape(), shape};
        CaptureStderr();
        bytes = test::writeToMemory([&](FILE* f) { return writeRawSvgFile(f, file); }, &ok);
        GetCapturedStderr();
        EXPECT_FALSE(ok) << c.what;
        EXPECT_TRUE(bytes.empty()) << c.what << ": nothing of the file is written";
    }
}

} // namespace
} // namespace hv
