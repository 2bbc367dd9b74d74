#include "core/PathProvider.h"
#include "core/Platform.h"
#include "core/Reader.h"
#include "core/ResourcePaths.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

// Every fsync of this executable passes here: while a test watches a target, each call is
// logged as "file", or as "folder: " and what the target holds at that moment.
namespace {
const std::string* syncWatched = nullptr;
std::vector<std::string> syncLog;
} // namespace

extern "C" int fsync(int fd) {
    struct stat info;
    if (syncWatched && fstat(fd, &info) == 0) {
        syncLog.push_back(S_ISDIR(info.st_mode) ? "folder: " + hv::getStringAtPath(*syncWatched).first : "file");
    }
    return int(syscall(SYS_fsync, fd));
}

namespace hv {
namespace {

namespace fs = std::filesystem;

TEST(BlobTest, MissingEmptyAndDirectory) {
    test::TempDir dir;
    testing::internal::CaptureStderr();
    EXPECT_EQ(getBlobAtPath(dir.file("missing")), nullptr);
    EXPECT_EQ(getBlobAtPath(dir.path()), nullptr) << "a directory is not a file";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    test::writeFile(dir.file("empty"), "");
    Blob empty = getBlobAtPath(dir.file("empty"));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->empty());

    test::writeFile(dir.file("data"), std::string("a\0b", 3));
    Blob data = getBlobAtPath(dir.file("data"));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(*data, (std::vector<uint8_t>{'a', 0, 'b'}));
}

TEST(BlobTest, ShortReadGivesNoBlobRatherThanZeros) {
    // Kernel attribute files claim a page of length but hold a few bytes, so the read ends
    // before the size the file reported: the same as a file cut short while it is read.
    const std::string path = "/sys/devices/system/cpu/online";
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || info.st_size <= 64) GTEST_SKIP() << "no sysfs attribute to read";
    testing::internal::CaptureStderr();
    EXPECT_EQ(getBlobAtPath(path), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "getBlobAtPath failed: " + path + "\n");
}

TEST(BlobTest, UnreadableFileGivesNoBlob) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    test::TempDir dir;
    test::writeFile(dir.file("secret"), "x");
    chmod(dir.file("secret").c_str(), 0);
    EXPECT_EQ(getBlobAtPath(dir.file("secret")), nullptr);
}

TEST(BlobTest, NonRegularFilesAreRefusedWithoutWaiting) {
    test::TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
    // In a child, so an open that waits for the FIFO's writer is killed, not the suite hung.
    test::ChildWatch watch{{}, std::chrono::seconds(20)};
    auto refused = [&] {
        for (std::string path : {dir.file("fifo"), std::string("/dev/null")}) {
            if (getBlobAtPath(path) || getStringAtPath(path).second) std::_Exit(3);
        }
    };
    EXPECT_EQ(test::runInChild(refused, watch).exitStatus, 0);
}

TEST(BlobTest, ProvidersAndStrings) {
    test::TempDir dir;
    fs::create_directories(dir.file("story"));
    test::writeFile(dir.file("story/version.txt"), "12");
    PathProvider root(dir.path());
    auto story = PathProvider::child(root, "story");
    EXPECT_EQ(story->root, dir.path() + "/story");
    EXPECT_EQ(getStringFromProvider(*story, "version.txt"), std::make_pair(std::string("12"), true));
    EXPECT_EQ(getStringFromProvider(*story, "nope.txt"), std::make_pair(std::string(""), false));
    EXPECT_EQ(getStringAtPath(dir.file("story/version.txt")).first, "12");
    ASSERT_NE(getBlobFromProvider(root, "story/version.txt"), nullptr);
}

TEST(PathsTest, JoiningNeverNormalises) {
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a/", "b"), "/a//b");
    EXPECT_EQ(PathProvider::child(PathProvider("/a"), "b")->root, "/a/b");
}

TEST(PathsTest, LayoutBelowTheResourceDirectory) {
    // ctest points the resource directory at the build tree.
    const char* resources = std::getenv(platform::resourceDirectoryVariable);
    ASSERT_NE(resources, nullptr);
    std::string assets = std::string(resources) + "/assets";
    EXPECT_EQ(assetsDirectory(), assets);
    EXPECT_EQ(storyDirectory(), assets + "/story");
    EXPECT_EQ(packinDirectory(), assets + "/packin");
    EXPECT_EQ(blobsDirectory(), assets + "/blobs");
    EXPECT_EQ(appIconPath(), assets + "/blobs/app-icon.bmp");
    EXPECT_EQ(shaderDirectoryName(), "shaders-gl3");
    EXPECT_TRUE(initCocoaApplication());
    std::string suffix = "/Local/Application Support/Brackwater Studios/Halvane/";
    EXPECT_EQ(userDataDirectory(), platform::homeDirectory() + suffix);
}

TEST(PathsTest, ResourceDirectoryDefaultsToTheExecutablesFolder) {
    test::ChildResult r = test::runInChild([] {
        unsetenv(platform::resourceDirectoryVariable);
        std::string expected = fs::canonical("/proc/self/exe").parent_path().string();
        std::_Exit(platform::bundleResourcePath() == expected ? 0 : 3);
    });
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(PlatformTest, TemporaryAndHomeDirectories) {
    test::ChildResult r = test::runInChild([] {
        setenv("TMPDIR", "/var/elsewhere", 1);
        if (platform::temporaryDirectory() != "/var/elsewhere") std::_Exit(3);
        unsetenv("TMPDIR");
        if (platform::temporaryDirectory() != "/tmp") std::_Exit(4);
        if (platform::homeDirectory().empty()) std::_Exit(5);
        std::_Exit(0);
    });
    EXPECT_EQ(r.exitStatus, 0);
}

TEST(PlatformTest, CreatesDirectoriesWithParents) {
    test::TempDir dir;
    std::string deep = dir.file("a/b c/d/");
    EXPECT_TRUE(platform::createDirectoryWithIntermediates(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(platform::createDirectoryWithIntermediates(deep)) << "an existing directory is fine";
    test::writeFile(dir.file("file"), "x");
    EXPECT_FALSE(platform::createDirectoryWithIntermediates(dir.file("file/below")));
}

TEST(WriteStringTest, WritesReplacesAndAcceptsEmpty) {
    test::TempDir dir;
    std::string path = dir.file("save.txt");
    EXPECT_TRUE(writeStringToPath("first", path));
    EXPECT_EQ(getStringAtPath(path).first, "first");
    EXPECT_TRUE(writeStringToPath("second, longer", path));
    EXPECT_EQ(getStringAtPath(path).first, "second, longer");
    // An empty save is a save, not a failure.
    EXPECT_TRUE(writeStringToPath("", path));
    auto [text, ok] = getStringAtPath(path);
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file is left behind";
}

TEST(WriteStringTest, TargetNamesNearTheLengthLimitCanBeWritten) {
    test::TempDir dir;
    std::string path = dir.file(std::string(250, 'n'));
    EXPECT_TRUE(writeStringToPath("long", path));
    EXPECT_EQ(getStringAtPath(path).first, "long");
}

TEST(WriteStringTest, FailureReportsAndKeepsThePreviousFile) {
    test::TempDir dir;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeStringToPath("x", dir.file("no/such/dir/save.txt")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "writeStringToPath() failed to write to " + dir.file("no/such/dir/save.txt") + "\n");

    // A target that cannot be replaced (a directory) fails and leaves no temporary file.
    fs::create_directories(dir.file("taken"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeStringToPath("x", dir.file("taken")));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(WriteStringTest, FullDiskKeepsThePreviousSave) {
    test::TempDir dir;
    std::string path = dir.file("save.txt");
    ASSERT_TRUE(writeStringToPath("the old save", path));
    // A file-size limit makes the write fail part-way, as a full disk would.
    test::ChildResult r = test::runInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::_Exit(writeStringToPath(std::string(100000, 'n'), path) ? 3 : 0);
    });
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "writeStringToPath() failed to write to " + path + "\n");
    EXPECT_EQ(getStringAtPath(path).first, "the old save");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(WriteStringTest, ATemporaryLeftByAKilledSaveOfTheSameProcessIdIsSkipped) {
    test::TempDir dir;
    std::string path = dir.file("save.txt");
    ASSERT_TRUE(writeStringToPath("old", path));
    test::runInChild([&] { replaceFile(path, [](FILE*) { return raise(SIGKILL) == 0; }); });
    // A later process with the same id (a restarted container) finds its first name taken:
    // here the leftover is renamed to the name this child picks first.
    test::ChildResult later = test::runInChild([&] {
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            std::string name = entry.path().filename().string();
            if (name == "save.txt") continue;
            fs::rename(entry.path(), dir.file(".hv-save-" + std::to_string(getpid()) + name.substr(name.rfind('-'))));
        }
        std::_Exit(writeStringToPath("new", path) ? 0 : 3);
    });
    EXPECT_EQ(later.exitStatus, 0) << later.err;
    EXPECT_EQ(getStringAtPath(path).first, "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2) << "save and leftover";
}

// The next save removes the temporaries of saves killed in processes that no longer run; those
// that may still be written, and files of other shapes, stay.
TEST(WriteStringTest, TheNextSaveRemovesTheTemporariesOfProcessesGone) {
    test::TempDir dir;
    const std::string path = dir.file("save.txt");
    test::runInChild([&] { replaceFile(path, [](FILE*) { return raise(SIGKILL) == 0; }); });
    const std::string dead = fs::directory_iterator(dir.path())->path().filename().string(); // what it left
    // Process 1 runs, our own may be writing, and the rest are not the temporaries' names.
    std::set<std::string> kept = {".hv-save-1-0", ".hv-save-" + std::to_string(getpid()) + "-9", ".hv-save-0-1",
                                  ".hv-save-x-1", "notes.txt", dead + ".txt"};
    for (const std::string& name : kept) test::writeFile(dir.file(name), "kept");
    fs::create_directories(dir.file(dead + "9")); // a folder, not a save
    kept.insert({dead + "9", "save.txt"});
    ASSERT_TRUE(writeStringToPath("new", path));
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path())) left.insert(entry.path().filename().string());
    EXPECT_EQ(left, kept);
}

TEST(WriteStringTest, KeepsThePermissionBitsAndSyncsTheFolderAfterTheRename) {
    test::TempDir dir;
    // The old file's mode (0 for none), the umask, the saved file's mode.
    const mode_t cases[][3] = {{0600, 022, 0600}, {0755, 077, 0755}, {0604, 0, 0604}, {0, 022, 0644}, {0, 077, 0600}};
    for (const auto& [old, mask, expected] : cases) {
        std::string path = dir.file("save" + std::to_string(old) + "-" + std::to_string(mask));
        if (old != 0) test::writeFile(path, "old");
        chmod(path.c_str(), old);
        mode_t previous = umask(mask);
        syncWatched = &path;
        syncLog.clear();
        EXPECT_TRUE(writeStringToPath("new", path));
        syncWatched = nullptr;
        umask(previous);
        struct stat info;
        EXPECT_EQ(stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 1, expected) << path;
        EXPECT_EQ(syncLog, (std::vector<std::string>{"file", "folder: new"})) << "the data, then the rename";
    }
}

TEST(ReaderTest, ReadsWithinBoundsOnly) {
    auto blob = std::make_shared<std::vector<uint8_t>>(std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    BlobReader reader(blob);
    uint8_t buffer[10];
    EXPECT_EQ(reader.remaining(), 10u);
    EXPECT_TRUE(reader.read(buffer, 8));
    EXPECT_FALSE(reader.read(buffer, 4));
    EXPECT_EQ(reader.offset, 8u);
    EXPECT_EQ(reader.remaining(), 2u);
    EXPECT_TRUE(reader.read(buffer, 2));
    EXPECT_EQ(buffer[1], 9);
    EXPECT_TRUE(reader.read(buffer, 0));
    EXPECT_FALSE(reader.read(buffer, 1));
    EXPECT_FALSE(reader.read(buffer, UINT64_MAX));

    EXPECT_TRUE(reader.canRead(0, 8));
    EXPECT_FALSE(reader.canRead(1, 1));
    BlobReader fresh(blob);
    EXPECT_TRUE(fresh.canRead(2, 5));
    EXPECT_FALSE(fresh.canRead(3, 4));
    EXPECT_FALSE(fresh.canRead(UINT64_MAX / 2, 4)) << "the product must not wrap around";

    auto shared = makeBlobReader(blob);
    EXPECT_EQ(shared->remaining(), 10u);
}

} // namespace
} // namespace hv
