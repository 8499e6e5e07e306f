// Encoder benchmark: encodes a 12-megapixel photo-like picture in memory and
// prints megapixels per second. Usage: bench_encode [repeats] [out.jpg]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "jpeg/internal/encoder.h"
#include "jpeg/jpeg.h"

namespace {

// Smooth shading, hard edges and sensor-like noise, so that the coder sees
// the mix of flat and busy blocks a photograph gives.
std::vector<std::uint32_t> PhotoLike(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 9) - 4;
            const double fx = static_cast<double>(x) / width, fy = static_cast<double>(y) / height;
            int r = static_cast<int>(120 + 100 * std::sin(fx * 7.0) * std::cos(fy * 3.0));
            int g = static_cast<int>(110 + 90 * std::cos(fx * 5.0 + fy * 4.0));
            int b = static_cast<int>(100 + 80 * std::sin(fy * 9.0));
            if (((x / 97) + (y / 61)) % 5 == 0) {  // objects with edges
                r = 230 - r / 3;
                g = 40 + g / 4;
            }
            auto clamp = [&](int v) { return static_cast<std::uint32_t>(v + noise < 0 ? 0 : v + noise > 255 ? 255 : v + noise); };
            pixels[static_cast<std::size_t>(y) * width + x] = 0xFF000000u | clamp(r) << 16 | clamp(g) << 8 | clamp(b);
        }
    }
    return pixels;
}

}  // namespace

int main(int argc, char** argv)
{
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 5;
    const int width = 4000, height = 3000;
    const std::vector<std::uint32_t> pixels = PhotoLike(width, height);
    const jpeg::PixelRows rows{pixels.data(), width, width, height};

    std::vector<std::uint8_t> out;
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (jpeg::EncodeJpegToMemory(rows, out) != jpeg::JpegResult::Ok) {
            std::fprintf(stderr, "encoding failed\n");
            return 1;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = seconds < best ? seconds : best;
    }
    const double megapixels = width * static_cast<double>(height) / 1e6;
    std::printf("picture      %d x %d (%.1f MP), photo-like, one thread\n", width, height, megapixels);
    std::printf("transform    %s\n", jpeg::TransformName());
    std::printf("output       %zu bytes\n", out.size());
    std::printf("best of %d   %.3f s  ->  %.1f MP/s\n", repeats, best, megapixels / best);
    // The transform alone, each version this processor can run, on the MCUs
    // of a 12 MP picture (46,875 MCUs of 256 pixels).
    auto encoder = std::make_unique<jpeg::JpegEncoder>();
    jpeg::InitTables(50, encoder->Tables);
    jpeg::DeriveTables(encoder->Tables);
    for (int i = 0; i < 384; ++i)
        encoder->Samples[i] = (i * 37) % 255 - 128;
    for (const jpeg::TransformKernel& kernel : jpeg::AvailableTransforms()) {
        const int mcus = 46875;
        const auto start = std::chrono::steady_clock::now();
        for (int m = 0; m < mcus; ++m)
            kernel.run(encoder->Tables, encoder->Samples, encoder->Coefs);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("transform %-9s %.3f s  ->  %.1f MP/s\n", kernel.name, seconds, mcus * 256 / 1e6 / seconds);
    }
    if (argc > 2) {
        std::FILE* f = std::fopen(argv[2], "wb");
        if (f) {
            std::fwrite(out.data(), 1, out.size(), f);
            std::fclose(f);
        }
    }
    return 0;
}
