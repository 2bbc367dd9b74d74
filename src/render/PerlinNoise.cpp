#include "render/PerlinNoise.h"

#include "core/Fatal.h"

#include <cmath>
#include <random>

namespace hv {

void Randomness::prepare(uint32_t w, uint32_t h) {
    width = w;
    values.assign(size_t(w) * size_t(h), 0.0);
    std::mt19937 generator(0); // seeded explicitly: every grid starts the same sequence
    for (double& value : values) value = double(generator() & 0xffffu) / 65535.0;
}

Perlin2D::Perlin2D(uint64_t cellsX, uint64_t cellsY) {
    if (cellsX == 0 || cellsY == 0) fatalError("Perlin2D: a noise layer needs at least one cell");
    Randomness randomness;
    randomness.prepare(uint32_t(cellsX + 1), uint32_t(cellsY + 1));
    width = int64_t(cellsX + 1);
    height = int64_t(cellsY + 1);
    gradients.reserve(size_t(width) * size_t(height));
    for (uint64_t y = 0; y <= cellsY; ++y) {
        for (uint64_t x = 0; x <= cellsX; ++x) {
            // The last column and row repeat the first, so the layer tiles.
            double angle = randomness.get(uint32_t(x % cellsX), uint32_t(y % cellsY)) * 3.141592654 * 2;
            gradients.emplace_back(std::cos(angle), std::sin(angle));
        }
    }
}

namespace {

inline int64_t wrap(int64_t a, int64_t m) {
    if (a >= 0 && a < m) return a; // the common case, without a division
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

inline double fade(double t) { return t * t * t * (t * (6 * t - 15) + 10); }

inline double lerp(double a, double b, double t) { return (1 - t) * a + t * b; }

} // namespace

// Corners wrap over the whole gradient grid, whose last column and row repeat the first, so
// corner -1 meets the first gradient rather than the last cell's. Only the samples just left
// of column 0 and below row 0 see it, and they move those texels by well under a grey level;
// prepared cache files hold textures made this way, so it stays.
double Perlin2D::gradientDot(int64_t cornerX, int64_t cornerY, double px, double py) const {
    const Vec2& g = gradients[size_t(wrap(cornerX, width) + wrap(cornerY, height) * width)];
    return (px - double(cornerX)) * g.x + (py - double(cornerY)) * g.y;
}

double Perlin2D::value(double x, double y) const {
    double fx = std::floor(x);
    double fy = std::floor(y);
    int64_t x0 = int64_t(fx);
    int64_t y0 = int64_t(fy);
    double p = gradientDot(x0, y0, x, y);
    double q = gradientDot(x0 + 1, y0, x, y);
    double r = gradientDot(x0, y0 + 1, x, y);
    double s = gradientDot(x0 + 1, y0 + 1, x, y);
    double u = fade(x - fx);
    double w = fade(y - fy);
    return lerp(lerp(p, q, u), lerp(r, s, u), w);
}

StackedPerlin2D::StackedPerlin2D(std::vector<Octave> octaves_, double widthScale_, double heightScale_)
    : widthScale(widthScale_), heightScale(heightScale_), octaves(std::move(octaves_)) {
    layers.reserve(octaves.size());
    for (const Octave& octave : octaves) {
        layers.emplace_back(octave.first, octave.first);
        double cell = 1.0 / double(octave.first);
        cellSizes.emplace_back(cell * widthScale, cell * heightScale);
    }
}

double StackedPerlin2D::heightAt(const Vec2& point) const {
    double height = 0.0;
    for (size_t i = 0; i < layers.size(); ++i) {
        height += octaves[i].second * layers[i].value(point.x / cellSizes[i].first, point.y / cellSizes[i].second);
    }
    return height;
}

} // namespace hv
