// The host with a book of the test's own, in a child on the offscreen driver: events pushed
// into SDL's queue and ticks, without the pacing of rendered frames.
#include "chapter/ChapterController.h"
#include "host/Options.h"
#include "host/SdlHost.h"
#include "script/BookController.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <SDL.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

namespace hv {
namespace {

const std::string packinDir = std::string(HV_BINARY_DIR) + "/assets/packin";

// A host started on `story` (its book.lua loaded as source) with the arguments given.
std::shared_ptr<SdlHost> startHost(const std::vector<std::string>& arguments, const test::TempDir& story,
                                   const std::string& packin) {
    test::writeFile(story.file("paper.txt"), "size 64 base-frequency 4 frequency-multiplier 2 amplitude-count 3 "
                                             "attenuation 0.5 intensity 0.3\n");
    Configuration options = parseOptions(arguments).configuration;
    options.precompiledScripts = false;
    auto host = std::make_shared<SdlHost>();
    if (!host->init(options, std::make_shared<PathProvider>(story.path()), std::make_shared<PathProvider>(packin))) {
        return nullptr;
    }
    host->running = true;
    return host;
}

TEST(HostBookTest, OneWheelNotchWithItsCoastingScrollsAnEighthOfTheView) {
    test::TempDir story;
    // One row far taller than the view, so neither end of the page stops the scroll.
    test::writeFile(story.file("book.lua"), "hvkRegisterChapter('tall', function() hvkSetRowHeight(60) "
                                            "hvkNewRow(false) end)\n");
    test::ChildResult child = test::runInChild([&] {
        std::shared_ptr<SdlHost> host = startHost({"-720p", "-nocache"}, story, packinDir);
        if (!host) return;
        host->setupBook();
        host->tick();
        const RowOffsets& rows = host->controller->chapterController()->rows;
        std::cout << "view " << host->configuration.contentWidth << "x" << host->configuration.contentHeight << "\n";
        for (int notch : {-1, -1, 1}) { // SDL's y is negative toward the reader: down the page
            double before = rows.position;
            SDL_Event wheel;
            SDL_zero(wheel);
            wheel.type = SDL_MOUSEWHEEL;
            wheel.wheel.y = notch;
            SDL_PushEvent(&wheel);
            for (int pass = 0; pass < 60; ++pass) { // a second at 60 frames: the coasting stops
                SDL_Event event;
                while (SDL_PollEvent(&event)) host->handleSdlEvent(event);
                host->tick();
            }
            std::cout << "moved " << rows.position - before << "\n";
        }
    });
    ASSERT_EQ(child.exitStatus, 0) << child.err;
    std::istringstream lines(child.out);
    std::string word;
    lines >> word >> word;
    EXPECT_EQ(word, "1280x720");
    for (double sign : {1.0, 1.0, -1.0}) {
        double moved = 0.0;
        lines >> word >> moved;
        ASSERT_EQ(word, "moved") << child.out;
        EXPECT_GE(sign * moved, 60.0) << child.out;
        EXPECT_LE(sign * moved, 120.0) << child.out;
    }
}

TEST(HostBookTest, ARendererThatKeepsFailingIsReportedOnceThenCounted) {
    test::TempDir story, packin;
    test::writeFile(story.file("book.lua"), "hvkRegisterChapter('a', function() end)\n");
    std::filesystem::copy(packinDir, packin.path(), std::filesystem::copy_options::recursive);
    std::filesystem::remove(packin.file("shaders-gl3/polygon.fsh"));
    test::ChildResult child = test::runInChild([&] {
        std::shared_ptr<SdlHost> host = startHost({"-small", "-nocache"}, story, packin.path());
        if (!host) return;
        for (int frame = 0; frame < 150; ++frame) {
            host->setupBook(); // retried every frame
            host->tick();
        }
    });
    ASSERT_EQ(child.exitStatus, 0) << child.err;
    const std::string failed = "Failed to init renderer",
                      dropped = "Dropping event as book controller is not setup yet";
    EXPECT_EQ(child.err.substr(child.err.find("Could not find shader")),
              "Could not find shader: shaders-gl3/polygon.fsh\nUnable to compile poly shader program\n" + failed +
                  "\n" + failed + " (repeated 10 times)\n" + failed + " (repeated 100 times)\n");
    EXPECT_EQ(child.out, dropped + "\n" + dropped + " (repeated 10 times)\n" + dropped + " (repeated 100 times)\n");
}

} // namespace
} // namespace hv
