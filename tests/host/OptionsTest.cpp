#include "host/Options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace hv {
namespace {

ParsedOptions parse(std::vector<std::string> arguments) { return parseOptions(arguments); }

Configuration parsedOk(std::vector<std::string> arguments) {
    ParsedOptions result = parseOptions(arguments);
    EXPECT_TRUE(result.ok()) << result.error;
    return result.configuration;
}

TEST(OptionsTest, NoArgumentsGiveFullScreenPrecompiledCachedAndQuiet) {
    Configuration c = parsedOk({});
    EXPECT_TRUE(c.fullscreen);
    EXPECT_TRUE(c.precompiledScripts);
    EXPECT_TRUE(c.useCache);
    EXPECT_FALSE(c.showFps);
    EXPECT_FALSE(c.mobile);
    EXPECT_EQ(c.screen, 0u);
    EXPECT_EQ(c.framerate, 0u);
    EXPECT_EQ(c.windowWidth, 0u);
    EXPECT_EQ(c.scrollBelowFraction, 0.25);
    EXPECT_TRUE(c.env.empty());
}

TEST(OptionsTest, FlagsSetTheirFields) {
    Configuration c = parsedOk({"-noscrollbelow", "-nocache", "-logmouse", "-portrait", "-ignoremouse", "-noaspectcap",
                                "-notexture", "-fronttoback", "-mobile", "-fps", "-grayscale", "-longsentencelog",
                                "long.txt", "-fpslogpath", "fps.txt", "-book", "Tide", "-failframerate", "45",
                                "-screen", "2", "-NSDocumentRevisionsDebugMode", "YES"});
    EXPECT_EQ(c.scrollBelowFraction, 0.0);
    EXPECT_FALSE(c.useCache);
    EXPECT_TRUE(c.logMouse);
    EXPECT_EQ(c.portrait, 1);
    EXPECT_TRUE(c.ignoreMouse);
    EXPECT_TRUE(c.noAspectCap);
    EXPECT_TRUE(c.noTexture);
    EXPECT_TRUE(c.frontToBack);
    EXPECT_TRUE(c.mobile);
    EXPECT_TRUE(c.showFps);
    EXPECT_TRUE(c.greyscale);
    EXPECT_EQ(c.longSentenceLogPath, "long.txt");
    EXPECT_EQ(c.fpsLogPath, "fps.txt");
    EXPECT_EQ(c.bookName, "Tide");
    EXPECT_EQ(c.failFramerate, 45);
    EXPECT_EQ(c.screen, 2u);
    EXPECT_TRUE(c.fullscreen);
}

TEST(OptionsTest, SizePresetsLeaveFullScreen) {
    struct Case {
        const char* option;
        uint64_t width, height;
    };
    for (Case k : {Case{"-1080p", 1920, 1080}, Case{"-4k", 3840, 2160}, Case{"-720p", 1280, 720},
                   Case{"-3to2", 720, 480}, Case{"-small", 640, 360}, Case{"-macbookair", 2929, 1831},
                   Case{"-ipadpro11", 3088, 2157}, Case{"-twitter", 1280, 720}, Case{"-instagram", 1080, 1080},
                   Case{"-instagram169", 1080, 607}}) {
        Configuration c = parsedOk({k.option});
        EXPECT_FALSE(c.fullscreen) << k.option;
        EXPECT_EQ(c.windowWidth, k.width) << k.option;
        EXPECT_EQ(c.windowHeight, k.height) << k.option;
        EXPECT_DOUBLE_EQ(c.aspect, double(k.width) / double(k.height)) << k.option;
    }
    Configuration phone = parsedOk({"-iphone8"});
    EXPECT_EQ(phone.portrait, 1);
    EXPECT_EQ(phone.windowWidth, 750u);
    EXPECT_EQ(phone.windowHeight, 1334u);
    EXPECT_DOUBLE_EQ(phone.aspect, 750.0 / 1334.0);
}

TEST(OptionsTest, HeightAndSizeComputeInDoubles) {
    Configuration c = parsedOk({"-height", "1000"});
    EXPECT_EQ(c.windowWidth, 1777u);
    EXPECT_EQ(c.windowHeight, 1000u);
    EXPECT_DOUBLE_EQ(c.aspect, 1000.0 / 9.0 * 16.0 / 1000.0);
    EXPECT_FALSE(c.fullscreen);

    Configuration s = parsedOk({"-size", "  800", "+600"});
    EXPECT_EQ(s.windowWidth, 800u);
    EXPECT_EQ(s.windowHeight, 600u);
    EXPECT_DOUBLE_EQ(s.aspect, 800.0 / 600.0);
}

TEST(OptionsTest, LaterOptionsOverrideEarlierOnes) {
    EXPECT_TRUE(parsedOk({"-720p", "-fullscreen"}).fullscreen);
    Configuration windowed = parsedOk({"-fullscreen", "-720p"});
    EXPECT_FALSE(windowed.fullscreen);
    EXPECT_EQ(windowed.windowWidth, 1280u);
    EXPECT_EQ(parsedOk({"-instagram", "-framerate", "60"}).framerate, 60u);
    EXPECT_EQ(parsedOk({"-framerate", "60", "-instagram"}).framerate, 30u);
    EXPECT_FALSE(parsedOk({"-fps", "-nofps"}).showFps);
    EXPECT_TRUE(parsedOk({"-nofps", "-fps"}).showFps);
    EXPECT_EQ(parsedOk({"-env", "A", "1", "-env", "A", "2", "-env", "B", "3"}).env,
              (std::map<std::string, std::string>{{"A", "2"}, {"B", "3"}}));
}

TEST(OptionsTest, EveryFailureHasItsMessage) {
    std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-longsentencelog"}, "fatal: -longsentencelog option is missing an argument"},
        {{"-fpslogpath"}, "fatal: -fpslogpath option is missing an argument"},
        {{"-failframerate"}, "fatal: -failframerate option is missing an argument"},
        {{"-height"}, "fatal: -height option is missing an argument"},
        {{"-size", "800"}, "fatal: -size option is missing two arguments"},
        {{"-book"}, "fatal: -book option is missing the bookname"},
        {{"-screen"}, "fatal: -screen option is missing an argument"},
        {{"-framerate"}, "fatal: -framerate option is missing an argument"},
        {{"-env", "A"}, "fatal: -env option needs to be followed by a key and value"},
        {{"-NSDocumentRevisionsDebugMode"}, "fatal: -NSDocumentRevisionsDebugMode option needs to be followed by an argument"},
        {{"-foo"}, "fatal: do not understand argument '-foo'"},
        // Whole-text, case-sensitive matches only.
        {{"-fpslog"}, "fatal: do not understand argument '-fpslog'"},
        {{"-FPS"}, "fatal: do not understand argument '-FPS'"},
        {{"book.lua"}, "fatal: do not understand argument 'book.lua'"},
    };
    for (auto& [arguments, message] : cases) {
        ParsedOptions result = parse(arguments);
        EXPECT_FALSE(result.ok()) << arguments[0];
        EXPECT_EQ(result.error, message);
    }
}

TEST(OptionsTest, AFailureStopsReadingTheRest) {
    ParsedOptions result = parse({"-fps", "-bogus", "-size", "1"});
    EXPECT_EQ(result.error, "fatal: do not understand argument '-bogus'");
    // An option's argument is consumed even when it looks like an option.
    Configuration c = parsedOk({"-book", "-fps"});
    EXPECT_EQ(c.bookName, "-fps");
    EXPECT_FALSE(c.showFps);
}

// A number an option takes is the whole argument, within what the option can use; any other text
// ends the run with a line naming the option and the text ("1e9" was once read as 1, "abc" as 0).
TEST(OptionsTest, EveryNumericOptionRefusesWhatIsNotItsNumber) {
    const struct {
        std::vector<std::string> before; // the option and the arguments ahead of the tested one
        std::string wants;
        std::vector<std::string> refused;
    } options[] = {
        {{"-height"}, "a height from 1 to 9216", {"0", "-1", "9217", "1000000000"}},
        {{"-size"}, "a width and a height from 1 to 16384", {"0", "-800", "16385", "99999999999999999999"}},
        {{"-size", "800"}, "a width and a height from 1 to 16384", {"0", "16385"}},
        {{"-framerate"}, "an integer framerate from 1", {"0", "-30", "1e20", "4294967297"}},
        {{"-screen"}, "an integer display number", {"2147483648", "-2147483649"}},
        {{"-failframerate"}, "an integer framerate", {"99999999999999999999"}},
    };
    for (const auto& option : options) {
        std::vector<std::string> values = option.refused;
        for (const char* text : {"abc", "5x", "1e9", "nan", "inf", "", "- 5", "0x10", "12 "}) values.push_back(text);
        for (const std::string& value : values) {
            std::vector<std::string> arguments = option.before;
            arguments.push_back(value);
            if (arguments.size() == 2 && arguments[0] == "-size") arguments.push_back("600");
            EXPECT_EQ(parse(arguments).error, "fatal: " + option.before[0] + " option needs to be followed by " +
                                                  option.wants + ", not '" + value + "'");
        }
    }
    // Screen and threshold are stored sign-extended; the host warns of a screen that is not there.
    EXPECT_EQ(parsedOk({"-screen", "-1"}).screen, UINT64_MAX);
    EXPECT_EQ(parsedOk({"-failframerate", "-5"}).failFramerate, -5);
    // The ends of each range are taken.
    EXPECT_EQ(parsedOk({"-height", "9216"}).windowHeight, 9216u);
    EXPECT_EQ(parsedOk({"-size", "16384", " +1"}).windowWidth, 16384u);
    EXPECT_EQ(parsedOk({"-framerate", "2147483647"}).framerate, uint64_t(INT32_MAX));
    EXPECT_EQ(parsedOk({"-failframerate", "-2147483648"}).failFramerate, INT32_MIN);
}

} // namespace
} // namespace hv
