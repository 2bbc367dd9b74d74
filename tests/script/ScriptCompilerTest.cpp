#include "core/Sha256.h"
#include "script/ScriptCompiler.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <lua.hpp>

#include <filesystem>
#include <sstream>

namespace hv {
namespace {

TEST(ScriptCompilerTest, CompilesEveryScriptAndNamesTheOnesThatFail) {
    test::TempDir dir;
    std::filesystem::create_directories(dir.file("story/chapters"));
    std::filesystem::create_directories(dir.file("packin/lua"));
    test::writeFile(dir.file("story/book.lua"), "local a = 1\n\nerror('from the book')\n");
    test::writeFile(dir.file("story/chapters/broken.lua"), "x = 1\ny = = 2\n");
    test::writeFile(dir.file("story/chapters/fine.lua"), "z = 3\n");
    test::writeFile(dir.file("packin/lua/lib.lua"), "function helper() end\n");
    std::ostringstream errors;
    ScriptCompileSummary summary = compileBookScripts(dir.path(), errors);
    EXPECT_EQ(summary.compiled, 3u);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_EQ(errors.str(), "halvane-bake: chapters/broken.lua:2: unexpected symbol near '='\n");
    EXPECT_TRUE(std::filesystem::exists(dir.file("story/chapters/fine.luac")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("packin/lua/lib.luac")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("story/chapters/broken.luac")));

    // The digest compiled chunks are checked against, on known texts.
    const std::pair<std::string, const char*> digests[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000, 'a'), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"}};
    for (const auto& [text, digest] : digests) EXPECT_EQ(sha256Hex(text.data(), text.size()), digest) << text;

    // The compiled chunk keeps its lines and is named by its path, however it is loaded.
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    ASSERT_EQ(luaL_loadfilex(state, dir.file("story/book.luac").c_str(), "b"), LUA_OK);
    ASSERT_NE(lua_pcall(state, 0, 0, 0), LUA_OK);
    EXPECT_STREQ(lua_tostring(state, -1), "book.lua:3: from the book");
    lua_close(state);
}

} // namespace
} // namespace hv
