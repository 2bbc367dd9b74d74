#include "render/PaperTexture.h"

#include "core/Fatal.h"
#include "core/PathProvider.h"
#include "core/Reader.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <iostream>
#include <sstream>

namespace hv {

bool PaperTexture::writeTo(FILE* file) const {
    if (texels.size() != dimension * dimension) {
        std::cerr << "PaperTexture::writeTo: texel count does not match the dimension" << std::endl;
        return false;
    }
    if (std::fwrite(&dimension, sizeof(dimension), 1, file) != 1) {
        std::cerr << "PaperTexture::writeTo: error writing dimension" << std::endl;
        return false;
    }
    if (!texels.empty() && std::fwrite(texels.data(), sizeof(double), texels.size(), file) != texels.size()) {
        std::cerr << "PaperTexture::writeTo: error writing data" << std::endl;
        return false;
    }
    return true;
}

bool PaperTexture::readFrom(Reader& reader) {
    dimension = 0;
    texels.clear();
    uint64_t d = 0;
    if (!reader.read(&d, sizeof(d))) {
        std::cerr << "PaperTexture::readFrom: error reading dimension" << std::endl;
        return false;
    }
    if (d == 0) {
        std::cerr << "PaperTexture::readFrom: dimension is 0" << std::endl;
        return false;
    }
    // d * d * 8 can wrap around; compare by division so a huge dimension cannot pass as small.
    if (d > reader.remaining() / sizeof(double) / d) {
        std::cerr << "PaperTexture::readFrom: error reading data" << std::endl;
        return false;
    }
    std::vector<double> values(d * d, 0.0);
    if (!reader.read(values.data(), values.size() * sizeof(double))) {
        std::cerr << "PaperTexture::readFrom: error reading data" << std::endl;
        return false;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) {
            std::cerr << "PaperTexture::readFrom: texel " << i << " is not a finite number" << std::endl;
            return false;
        }
    }
    dimension = d;
    texels = std::move(values);
    return true;
}

namespace {

enum class ParseResult { Ok, Negative, Bad };

ParseResult parseValue(const std::string& word, uint64_t& out) {
    if (!word.empty() && word[0] == '-') return ParseResult::Negative;
    uint64_t value = 0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size()) return ParseResult::Bad;
    out = value;
    return ParseResult::Ok;
}

ParseResult parseValue(const std::string& word, double& out) {
    double value = 0.0;
    auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (error != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) return ParseResult::Bad;
    if (value < 0) return ParseResult::Negative;
    out = value;
    return ParseResult::Ok;
}

template <typename T>
bool readField(std::istream& in, const std::string& key, T& field) {
    std::string word;
    if (!(in >> word)) return true; // a key at the very end sets nothing
    switch (parseValue(word, field)) {
    case ParseResult::Ok:
        return true;
    case ParseResult::Negative:
        std::cerr << "PaperParams::readFrom: " << key << " must not be negative, got " << word << std::endl;
        return false;
    case ParseResult::Bad:
        break;
    }
    std::cerr << "PaperParams::readFrom: " << key << " needs a finite number, got '" << word << "'" << std::endl;
    return false;
}

} // namespace

bool PaperParams::readFrom(const std::string& path) {
    std::string text, why;
    if (!readWholeFile(path, text, why)) {
        // Only a file that is not there is missing; anything else is told for what it is.
        if (errno == ENOENT) exitWithLine("PaperParams::readFrom: no file at path '" + path + "'");
        exitWithLine("PaperParams::readFrom: cannot read '" + path + "': " + why);
    }

    size = baseFrequency = frequencyMultiplier = amplitudeCount = 0;
    attenuation = intensity = -1.0;

    std::istringstream in(std::move(text));
    std::string word;
    while (in >> word) {
        bool ok = true;
        if (word == "size") ok = readField(in, word, size);
        else if (word == "base-frequency") ok = readField(in, word, baseFrequency);
        else if (word == "frequency-multiplier") ok = readField(in, word, frequencyMultiplier);
        else if (word == "amplitude-count") ok = readField(in, word, amplitudeCount);
        else if (word == "attenuation") ok = readField(in, word, attenuation);
        else if (word == "intensity") ok = readField(in, word, intensity);
        if (!ok) return false;
    }

    const char* missing = nullptr;
    if (size == 0) missing = "Missing dimension parameter";
    else if (baseFrequency == 0) missing = "Missing base freq parameter";
    else if (frequencyMultiplier == 0) missing = "Missing frequency-multiplier parameter";
    else if (attenuation < 0) missing = "Missing ampl decrease parameter";
    else if (intensity < 0) missing = "Missing intensity parameter";
    if (missing) {
        std::cerr << missing << std::endl;
        return false;
    }

    // Bounds that keep generation within memory and the grey values finite.
    if (size > maximumSize) {
        std::cerr << "PaperParams::readFrom: size " << size << " is larger than " << maximumSize << std::endl;
        return false;
    }
    if (amplitudeCount > maximumAmplitudeCount) {
        std::cerr << "PaperParams::readFrom: amplitude-count " << amplitudeCount << " is larger than "
                  << maximumAmplitudeCount << std::endl;
        return false;
    }
    uint64_t frequency = baseFrequency;
    double amplitude = 1.0;
    for (uint64_t i = 0; i < amplitudeCount; ++i) {
        // Finer cells than texels still add grain; only the gradient grid, which grows with the
        // square of the cells, is bounded.
        if (frequency > maximumCells) {
            std::cerr << "PaperParams::readFrom: octave " << i << " has more than " << maximumCells << " cells"
                      << std::endl;
            return false;
        }
        if (!std::isfinite(amplitude)) {
            std::cerr << "PaperParams::readFrom: octave " << i << " amplitude overflows; attenuation "
                      << attenuation << " is too large" << std::endl;
            return false;
        }
        if (i + 1 < amplitudeCount) {
            // A product above the bound is caught before it can wrap around.
            frequency = frequency > maximumCells / frequencyMultiplier ? maximumCells + 1
                                                                       : frequency * frequencyMultiplier;
            amplitude *= attenuation;
        }
    }
    return true;
}

std::vector<StackedPerlin2D::Octave> PaperParams::octaves() const {
    std::vector<StackedPerlin2D::Octave> result;
    uint64_t frequency = baseFrequency;
    double amplitude = 1.0;
    for (uint64_t i = 0; i < amplitudeCount; ++i) {
        result.emplace_back(frequency, amplitude);
        frequency = frequency * frequencyMultiplier;
        amplitude = attenuation * amplitude;
    }
    return result;
}

void fillLit(PaperTexture& texture, const HeightProvider& provider, uint64_t width, uint64_t height, const Light& light) {
    if (width != height) {
        exitWithLine("fillLit: must be square");
    }
    texture.dimension = width;
    double length = std::sqrt(light.x * light.x + light.y * light.y + light.z * light.z);
    double lx = light.x / length;
    double ly = light.y / length;
    double lz = light.z / length;
    double k = light.k;
    texture.texels.assign(width * height, 0.0);
    double minimum = 0.0;
    double maximum = 0.0;
    for (uint64_t x = 0; x < width; ++x) {
        double px = double(x);
        for (uint64_t y = 0; y < height; ++y) {
            double py = double(y);
            double hN = provider.heightAt(Vec2(px, py + 0.1));
            double hS = provider.heightAt(Vec2(px, py - 0.1));
            double hW = provider.heightAt(Vec2(px - 0.1, py));
            double hE = provider.heightAt(Vec2(px + 0.1, py));
            double dx = (hE - hW) * 0.5;
            double dy = (hN - hS) * 0.5;
            double shade = 1 - k + k * (dx * lx + dy * ly - lz);
            if (x == 0 && y == 0) {
                minimum = maximum = shade;
            } else {
                minimum = std::min(minimum, shade);
                maximum = std::max(maximum, shade);
            }
            texture.texels[x + width * y] = shade;
        }
    }
    double range = maximum - minimum;
    if (!(range > 0)) {
        // A flat field has no grain: white paper, which leaves the page's colours as they are.
        for (double& texel : texture.texels) texel = 1.0;
        return;
    }
    for (double& texel : texture.texels) texel = (texel - minimum) / range;
}

std::shared_ptr<PaperTexture> generatePaperTexture(const PaperParams& params) {
    Light light{0.1, 0.4, 0.4, -1.0};
    StackedPerlin2D provider(params.octaves(), double(params.size), double(params.size));
    auto texture = std::make_shared<PaperTexture>();
    fillLit(*texture, provider, params.size, params.size, light);
    return texture;
}

std::string paperCachePath(const std::string& directory) { return directory + "/paper"; }

} // namespace hv
