#pragma once

#include "core/Vec2.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace hv {

// A fixed grid of pseudo-random values in [0, 1]. Every grid starts the same sequence, so
// everything built from it is deterministic.
struct Randomness {
    uint32_t width = 0;
    std::vector<double> values;

    void prepare(uint32_t w, uint32_t h);
    double get(uint32_t x, uint32_t y) const { return values[x + y * width]; }
};

// One tiling layer of gradient noise over cx by cy cells.
struct Perlin2D {
    int64_t width = 0;  // cells + 1
    int64_t height = 0; // cells + 1
    std::vector<Vec2> gradients;

    Perlin2D(uint64_t cellsX, uint64_t cellsY);

    double value(double x, double y) const;
    double gradientDot(int64_t cornerX, int64_t cornerY, double px, double py) const;
};

class HeightProvider {
public:
    virtual double heightAt(const Vec2& point) const = 0;

protected:
    // Providers are owned by value where they are made, never deleted through this base.
    ~HeightProvider() = default;
};

// Octaves of noise summed over a texture of widthScale by heightScale texels.
class StackedPerlin2D final : public HeightProvider {
public:
    using Octave = std::pair<uint64_t, double>; // cell count, amplitude

    StackedPerlin2D(std::vector<Octave> octaves, double widthScale, double heightScale);
    double heightAt(const Vec2& point) const override;

    double widthScale;
    double heightScale;
    std::vector<Octave> octaves;
    std::vector<Perlin2D> layers;

private:
    // Per octave, the texels covered by one cell in each direction.
    std::vector<std::pair<double, double>> cellSizes;
};

// a * A + b * B; does not own the two providers.
class SumProvider final : public HeightProvider {
public:
    SumProvider(double a_, const HeightProvider& A_, double b_, const HeightProvider& B_)
        : a(a_), b(b_), A(&A_), B(&B_) {}
    double heightAt(const Vec2& point) const override { return a * A->heightAt(point) + b * B->heightAt(point); }

    double a;
    double b;
    const HeightProvider* A;
    const HeightProvider* B;
};

} // namespace hv
