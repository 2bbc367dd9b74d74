#include "host/Options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace hv {

std::optional<int64_t> readOptionInteger(const std::string& text, int64_t least, int64_t most) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        // Past both limits already: more digits could only overflow.
        if (value > std::max(most, -least)) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < least || value > most) return std::nullopt;
    return value;
}

ParsedOptions parseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions result;
    Configuration& c = result.configuration;
    c.setDefaults();
    c.showFps = false;
    c.fullscreen = true;
    c.precompiledScripts = true;

    size_t i = 0;
    // True when `count` further arguments follow the option at i.
    auto has = [&](size_t count) { return arguments.size() - i - 1 >= count; };
    auto fail = [&](const std::string& message) {
        result.error = "fatal: " + message;
        return result;
    };
    // The number after an option, or the line naming the option, what it takes and the text.
    std::string bad;
    auto number = [&](const std::string& option, const std::string& text, int64_t least, int64_t most,
                      const std::string& what) {
        std::optional<int64_t> value = readOptionInteger(text, least, most);
        if (!value) bad = option + " option needs to be followed by " + what + ", not '" + text + "'";
        return value.value_or(0);
    };

    for (; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "-noscrollbelow") {
            c.scrollBelowFraction = 0.0;
        } else if (a == "-nocache") {
            c.useCache = false;
        } else if (a == "-fullscreen") {
            c.fullscreen = true;
        } else if (a == "-logmouse") {
            c.logMouse = true;
        } else if (a == "-portrait") {
            c.portrait = 1;
        } else if (a == "-ignoremouse") {
            c.ignoreMouse = true;
        } else if (a == "-noaspectcap") {
            c.noAspectCap = true;
        } else if (a == "-notexture") {
            c.noTexture = true;
        } else if (a == "-longsentencelog") {
            if (!has(1)) return fail("-longsentencelog option is missing an argument");
            c.longSentenceLogPath = arguments[++i];
        } else if (a == "-fpslogpath") {
            if (!has(1)) return fail("-fpslogpath option is missing an argument");
            c.fpsLogPath = arguments[++i];
        } else if (a == "-instagram169") {
            setWindowSize(c, 1080, 607);
            c.framerate = 30;
        } else if (a == "-instagram") {
            setWindowSize(c, 1080, 1080);
            c.framerate = 30;
        } else if (a == "-fronttoback") {
            c.frontToBack = true;
        } else if (a == "-mobile") {
            c.mobile = true;
        } else if (a == "-fps") {
            c.showFps = true;
        } else if (a == "-nofps") {
            c.showFps = false;
        } else if (a == "-failframerate") {
            if (!has(1)) return fail("-failframerate option is missing an argument");
            c.failFramerate = number(a, arguments[++i], INT32_MIN, INT32_MAX, "an integer framerate");
        } else if (a == "-1080p") {
            setWindowSize(c, 1920, 1080);
        } else if (a == "-4k") {
            setWindowSize(c, 3840, 2160);
        } else if (a == "-720p") {
            setWindowSize(c, 1280, 720);
        } else if (a == "-3to2") {
            setWindowSize(c, 720, 480);
        } else if (a == "-small") {
            setWindowSize(c, 640, 360);
        } else if (a == "-iphone8") {
            c.portrait = 1;
            setWindowSize(c, 750, 1334);
        } else if (a == "-macbookair") {
            setWindowSize(c, 2929, 1831);
        } else if (a == "-ipadpro11") {
            setWindowSize(c, 3088, 2157);
        } else if (a == "-twitter") {
            setWindowSize(c, 1280, 720);
        } else if (a == "-height") {
            if (!has(1)) return fail("-height option is missing an argument");
            // As high as a 16:9 window of the widest side.
            const int64_t highest = largestWindowSide * 9 / 16;
            int64_t h = number(a, arguments[++i], 1, highest, "a height from 1 to " + std::to_string(highest));
            setWindowSize(c, double(h) / 9.0 * 16.0, double(h));
        } else if (a == "-size") {
            if (!has(2)) return fail("-size option is missing two arguments");
            const std::string sides = "a width and a height from 1 to " + std::to_string(largestWindowSide);
            int64_t w = number(a, arguments[++i], 1, largestWindowSide, sides);
            if (!bad.empty()) return fail(bad); // the first bad side is the one named
            int64_t h = number(a, arguments[++i], 1, largestWindowSide, sides);
            setWindowSize(c, double(w), double(h));
        } else if (a == "-book") {
            if (!has(1)) return fail("-book option is missing the bookname");
            c.bookName = arguments[++i];
        } else if (a == "-grayscale") {
            c.greyscale = true;
        } else if (a == "-screen") {
            // Sign-extended: a negative number names no display, and the host warns and uses
            // the first.
            if (!has(1)) return fail("-screen option is missing an argument");
            c.screen = uint64_t(number(a, arguments[++i], INT32_MIN, INT32_MAX, "an integer display number"));
        } else if (a == "-framerate") {
            if (!has(1)) return fail("-framerate option is missing an argument");
            c.framerate = uint64_t(number(a, arguments[++i], 1, INT32_MAX, "an integer framerate from 1"));
        } else if (a == "-env") {
            if (!has(2)) return fail("-env option needs to be followed by a key and value");
            const std::string& key = arguments[i + 1];
            c.env[key] = arguments[i + 2];
            i += 2;
        } else if (a == "-NSDocumentRevisionsDebugMode") {
            if (!has(1)) return fail("-NSDocumentRevisionsDebugMode option needs to be followed by an argument");
            ++i;
        } else {
            return fail("do not understand argument '" + a + "'");
        }
        if (!bad.empty()) return fail(bad);
    }
    return result;
}

namespace {

// Points `descriptor` at the file, or leaves it alone and says why on it.
bool redirectDescriptor(int descriptor, const std::string& path) {
    std::fflush(nullptr);
    std::cout.flush();
    std::cerr.flush();
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        std::string line = "redirectStandardStreams: cannot open " + path + ": " + std::strerror(errno) + "\n";
        ssize_t ignored = write(descriptor, line.data(), line.size());
        (void)ignored;
        return false;
    }
    // Started without this descriptor, the process gets it back from open itself: keep it
    // (inheritable, as dup2 would leave it), for closing it after a dup2 onto itself would
    // leave the stream closed.
    if (file == descriptor) return fcntl(file, F_SETFD, 0) == 0;
    bool moved = dup2(file, descriptor) >= 0;
    close(file);
    return moved;
}

} // namespace

bool redirectStandardStreams(const std::string& prefix) {
    bool out = redirectDescriptor(1, prefix + "-stdout.txt");
    bool err = redirectDescriptor(2, prefix + "-stderr.txt");
    return out && err;
}

} // namespace hv
