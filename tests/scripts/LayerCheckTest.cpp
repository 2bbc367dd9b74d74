// The floor check that scripts/test runs over src/.
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

namespace hv {
namespace {

test::ChildResult checkLayers(const std::string& srcDir) {
    std::string script = std::string(HV_SOURCE_DIR) + "/scripts/check-layers";
    return test::runInChild([&] {
        execl(script.c_str(), script.c_str(), srcDir.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    });
}

TEST(LayerCheckTest, TheEngineSourcesKeepTheirFloors) {
    test::ChildResult result = checkLayers(std::string(HV_SOURCE_DIR) + "/src");
    EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(LayerCheckTest, AnIncludeUpAFloorOrAcrossSiblingsIsNamedWithItsLine) {
    struct Case {
        const char* file;
        const char* include;
        const char* report; // empty when the include is allowed
    };
    const Case cases[] = {
        {"core/A.h", "picture/Path.h", "core/A.h:3: core includes \"picture/Path.h\" of floor picture\n"},
        {"svg/A.cpp", "render/BookView.h", "svg/A.cpp:3: svg includes \"render/BookView.h\" of floor render\n"},
        {"render/A.cpp", "svg/SvgManager.h", "render/A.cpp:3: render includes \"svg/SvgManager.h\" of floor svg\n"},
        {"render/A.cpp", "render/gl/GLEntryPoints.h",
         "render/A.cpp:3: render includes \"render/gl/GLEntryPoints.h\" of floor render/gl\n"},
        {"chapter/A.cpp", "script/BookController.h",
         "chapter/A.cpp:3: chapter includes \"script/BookController.h\" of floor script\n"},
        {"script/A.cpp", "host/SdlHost.h", "script/A.cpp:3: script includes \"host/SdlHost.h\" of floor host\n"},
        {"render/gl/A.cpp", "render/BookView.h", ""},
        {"host/A.cpp", "chapter/ChapterController.h", ""},
        {"picture/A.cpp", "picture/Path.h", ""},
        {"svg/A.cpp", "A.h", ""},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        std::filesystem::path file = std::filesystem::path(dir.path()) / c.file;
        std::filesystem::create_directories(file.parent_path());
        test::writeFile(file.string(), std::string("// one\n\n#include \"") + c.include + "\"\n");
        test::ChildResult result = checkLayers(dir.path());
        EXPECT_EQ(result.exitStatus, *c.report ? 1 : 0) << c.file << " " << c.include;
        EXPECT_EQ(result.out, c.report);
    }
}

} // namespace
} // namespace hv
