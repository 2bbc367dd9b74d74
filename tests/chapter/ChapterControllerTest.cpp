#include "chapter/ChapterController.h"
#include "core/Platform.h"
#include "render/BookView.h"
#include "support/BookHarness.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace hv {
namespace {

const char* idleBook = "hvkRegisterChapter('idle', function() while true do nextEvent() end end)";

TEST(ChapterControllerTest, PressesResetAndScreenshots) {
    test::BookHarness book(idleBook);
    book.start();
    ChapterController& chapter = book.chapter();
    // A release with no press held only moves the pointer.
    book.release(40, 50);
    EXPECT_EQ(chapter.pointerPhase, 0u);
    EXPECT_EQ(chapter.lastMouseEvent.kind, Event::PointerUp);
    EXPECT_EQ(chapter.lastMouseEvent.point, Vec2(40, 50));
    book.press(10, 20);
    book.press(90, 90); // a second button while the first is held: pointer waiters see it
    EXPECT_EQ(chapter.pressPoint, Vec2(10, 20));
    EXPECT_EQ(chapter.lastMouseEvent.point, Vec2(90, 90));
    book.release(12, 22);
    EXPECT_EQ(chapter.pointerPhase, 0u);
    EXPECT_EQ(chapter.lastMouseEvent.point, Vec2(12, 22));

    chapter.scrollScale = 0.8;
    chapter.unitsPerViewWidth = 3;
    chapter.scrollEnabled = false;
    chapter.rows.position = 50;
    chapter.scrollVelocity = 4;
    book.press(10, 10);
    uint64_t generation = chapter.dragGeneration;
    chapter.reset();
    EXPECT_EQ(chapter.rows.position, 0);
    EXPECT_EQ(chapter.scrollVelocity, 0);
    EXPECT_EQ(chapter.unitsPerViewWidth, 6u);
    EXPECT_TRUE(chapter.scrollEnabled);
    EXPECT_EQ(chapter.lastMouseEvent.point, Vec2(300, 200));
    EXPECT_EQ(chapter.scrollScale, 0.8);
    EXPECT_EQ(chapter.dragGeneration, generation + 1);
    EXPECT_EQ(chapter.pointerPhase, 2u);
    EXPECT_EQ(chapter.contentHeight, 100); // the margin below: a quarter of the view height
    EXPECT_EQ(book.platform->soundManagerBackend->stopAllCount, 3);

    // Screenshots go to the temporary directory.
    std::string path = platform::temporaryDirectory() + "/screenshot.gif";
    std::filesystem::remove(path);
    book.send({.kind = Event::Screenshot, .point = {}});
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(book.view->isRecording());
    std::filesystem::remove(path);
}

TEST(ChapterControllerTest, TextFactorFollowsTheContentShape) {
    for (auto [width, height, factor] : {std::tuple{600u, 800u, 0.04}, {800u, 600u, 0.015}, {800u, 800u, 0.015}}) {
        Configuration configuration = test::BookHarness::defaultConfiguration();
        configuration.windowWidth = configuration.contentWidth = width;
        configuration.windowHeight = configuration.contentHeight = height;
        test::BookHarness book(idleBook, configuration);
        book.start();
        EXPECT_DOUBLE_EQ(book.chapter().textScale, factor * width) << width << "x" << height;
    }
}

} // namespace
} // namespace hv
