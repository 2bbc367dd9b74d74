#include "host/Options.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <SDL.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <unistd.h>

namespace hv {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeThroughEveryChannel() {
    std::printf("c-out\n");
    std::cout << "cpp-out" << std::endl;
    std::fprintf(stderr, "c-err\n");
    std::cerr << "cpp-err" << std::endl;
    lua_State* lua = luaL_newstate();
    luaL_openlibs(lua);
    luaL_dostring(lua, "print('lua-out')");
    lua_close(lua);
    SDL_Log("sdl-log");
}

TEST(StreamRedirectTest, MovesCAndCppStreamsLuaPrintAndSdlLog) {
    test::TempDir dir;
    std::string prefix = dir.file("run");
    test::ChildResult child = test::runInChild([&] {
        if (!redirectStandardStreams(prefix)) std::_Exit(3);
        writeThroughEveryChannel();
    });
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(child.err, "");
    std::string out = readAll(prefix + "-stdout.txt");
    std::string err = readAll(prefix + "-stderr.txt");
    EXPECT_EQ(out, "c-out\ncpp-out\nlua-out\n");
    EXPECT_NE(err.find("c-err\ncpp-err\n"), std::string::npos) << err;
    EXPECT_NE(err.find("sdl-log"), std::string::npos) << err;
}

TEST(StreamRedirectTest, WorksForAProcessStartedWithoutStandardStreams) {
    // A launcher may start the program with descriptors 1 and 2 closed; the files then open
    // on those very descriptors and must stay there.
    test::TempDir dir;
    std::string prefix = dir.file("detached");
    test::ChildResult child = test::runInChild([&] {
        close(1);
        close(2);
        if (!redirectStandardStreams(prefix)) std::_Exit(3);
        writeThroughEveryChannel();
    });
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_EQ(readAll(prefix + "-stdout.txt"), "c-out\ncpp-out\nlua-out\n");
    EXPECT_NE(readAll(prefix + "-stderr.txt").find("c-err\ncpp-err\n"), std::string::npos);
}

TEST(StreamRedirectTest, BothFilesAreCreatedAndTruncated) {
    test::TempDir dir;
    std::string prefix = dir.file("quiet");
    test::writeFile(prefix + "-stdout.txt", "old contents");
    test::ChildResult child = test::runInChild([&] { redirectStandardStreams(prefix); });
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_TRUE(std::filesystem::exists(prefix + "-stderr.txt"));
    EXPECT_EQ(readAll(prefix + "-stdout.txt"), "");
}

TEST(StreamRedirectTest, AFileThatCannotBeOpenedLeavesItsStreamAndSaysSo) {
    test::TempDir dir;
    // The standard output's file sits in a folder that does not exist; the error file can be made.
    std::filesystem::create_directory(dir.file("err"));
    std::string badPrefix = dir.file("missing/run");
    test::ChildResult child = test::runInChild([&] {
        bool both = redirectStandardStreams(badPrefix);
        std::printf("still here %d\n", both);
        std::cout << "and here" << std::endl;
    });
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_NE(child.out.find("redirectStandardStreams: cannot open " + badPrefix + "-stdout.txt: "), std::string::npos)
        << child.out;
    EXPECT_NE(child.out.find("still here 0\nand here\n"), std::string::npos) << child.out;
    EXPECT_NE(child.err.find("cannot open " + badPrefix + "-stderr.txt"), std::string::npos) << child.err;

    // One good file, one bad: only the good stream moves.
    std::string mixed = dir.file("err/run");
    std::filesystem::create_directory(mixed + "-stderr.txt"); // a folder where the file should go
    child = test::runInChild([&] {
        redirectStandardStreams(mixed);
        std::printf("to file\n");
        std::fprintf(stderr, "to pipe\n");
    });
    EXPECT_EQ(child.out, "");
    EXPECT_EQ(readAll(mixed + "-stdout.txt"), "to file\n");
    EXPECT_NE(child.err.find("cannot open " + mixed + "-stderr.txt"), std::string::npos) << child.err;
    EXPECT_NE(child.err.find("to pipe\n"), std::string::npos);
}

} // namespace
} // namespace hv
