#pragma once

#include "render/PerlinNoise.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace hv {

class Reader;

// The page's grain: a square grid of grey values in [0, 1], texel (x, y) at x + dimension * y.
class PaperTexture {
public:
    uint64_t dimension = 0;
    std::vector<double> texels;

    // The cache record: the dimension, then every texel as a little-endian double.
    bool writeTo(FILE* file) const;
    // Reads exactly one record and ignores what follows. A failed read leaves an empty texture.
    bool readFrom(Reader& reader);
};

struct PaperParams {
    uint64_t size = 0;
    uint64_t baseFrequency = 0;
    uint64_t frequencyMultiplier = 0;
    uint64_t amplitudeCount = 0;
    double attenuation = -1.0;
    double intensity = -1.0;

    // Largest texture the paper may ask for; beyond it the grid would take gigabytes.
    static constexpr uint64_t maximumSize = 8192;
    static constexpr uint64_t maximumAmplitudeCount = 64;
    // Most cells an octave may have across.
    static constexpr uint64_t maximumCells = maximumSize;

    // Reads the book's "paper.txt"; a missing file ends the process.
    bool readFrom(const std::string& path);
    // The octaves as generation builds them: (cell count, amplitude) from the base frequency on.
    std::vector<StackedPerlin2D::Octave> octaves() const;
};

// Light over the height field: strength k and a direction (normalised where it is used).
struct Light {
    double k = 0.0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// Shades the height field into the texture and stretches the shades to fill [0, 1].
void fillLit(PaperTexture& texture, const HeightProvider& provider, uint64_t width, uint64_t height, const Light& light);

std::shared_ptr<PaperTexture> generatePaperTexture(const PaperParams& params);

std::string paperCachePath(const std::string& directory);

} // namespace hv
