// A slow, plain encoder written for the tests from the file format alone: one
// pixel read at a time from a padded copy, the transform sum by sum, the bit
// writer byte by byte. The real encoder must give the same bytes.
#include "reference_encoder.h"

#include "jpeg/internal/encoder.h"

#include <cmath>
#include <map>
#include <string>

namespace {

const int kZigZag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                         41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                         30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

const int kQuant[2][64] = {
    {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,  14, 13, 16, 24,  40,  57,
     69, 56, 14, 17, 22,  29,  51,  87,  80, 62, 18, 22, 37,  56,  68,  109, 103, 77, 24, 35,  55,  64,
     81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99},
    {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
     99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
     99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99}};

struct Huff {
    std::vector<std::uint8_t> bits, vals;
    std::map<int, std::pair<int, int>> code;  // symbol -> (code, length)
};

Huff MakeHuff(std::vector<std::uint8_t> bits, std::vector<std::uint8_t> vals)
{
    Huff h{bits, vals, {}};
    int code = 0, k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < bits[len - 1]; ++i)
            h.code[vals[k++]] = {code++, len};
        code <<= 1;
    }
    return h;
}

std::vector<std::uint8_t> Range(int n)
{
    std::vector<std::uint8_t> v;
    for (int i = 0; i < n; ++i)
        v.push_back(static_cast<std::uint8_t>(i));
    return v;
}

struct Writer {
    std::vector<std::uint8_t> out = std::vector<std::uint8_t>(1, 0);
    int bitPos = 7;

    void PutBit(int bit)
    {
        if (bit)
            out.back() |= static_cast<std::uint8_t>(1 << bitPos);
        if (--bitPos < 0) {
            if (out.back() == 0xFF)
                out.push_back(0x00);
            out.push_back(0);
            bitPos = 7;
        }
    }
    void Put(int value, int length)
    {
        for (int i = length - 1; i >= 0; --i)
            PutBit((value >> i) & 1);
    }
    std::vector<std::uint8_t> Finish()
    {
        while (bitPos != 7)
            PutBit(1);
        out.pop_back();  // the empty byte being filled
        return out;
    }
};

int BitLength(int v)
{
    v = v < 0 ? -v : v;
    int n = 0;
    while (v) {
        v /= 2;
        ++n;
    }
    return n;
}

}  // namespace

std::vector<std::uint8_t> ReferenceEncode(int width, int height, const std::vector<std::uint32_t>& pixels)
{
    const Huff dc[2] = {MakeHuff({0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, Range(12)),
                        MakeHuff({0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, Range(12))};
    // The symbol lists are the encoder's own; the codes are built here afresh.
    const auto values = [](const jpeg::HuffmanLists& lists) {
        return std::vector<std::uint8_t>(lists.values, lists.values + lists.count);
    };
    const std::vector<std::uint8_t> acLumVals = values(jpeg::AcLuminanceLists());
    const std::vector<std::uint8_t> acChrVals = values(jpeg::AcChrominanceLists());
    const Huff ac[2] = {MakeHuff({0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, acLumVals),
                        MakeHuff({0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, acChrVals)};

    // Header segments, byte by byte.
    std::vector<std::uint8_t> file = {0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 2, 1, 0, 72, 0, 72, 0, 0};
    const std::string comment = "Marnosk SampleVersion";
    file.insert(file.end(), {0xFF, 0xFE, 0, 24});
    file.insert(file.end(), comment.begin(), comment.end());
    file.push_back(0);
    file.insert(file.end(), {0xFF, 0xDB, 0, 132});
    for (int t = 0; t < 2; ++t) {
        file.push_back(static_cast<std::uint8_t>(t));
        for (int k = 0; k < 64; ++k)
            file.push_back(static_cast<std::uint8_t>(kQuant[t][kZigZag[k]]));
    }
    file.insert(file.end(), {0xFF, 0xC4, 0x01, 0xA2});
    const std::pair<int, const Huff*> order[4] = {{0x00, &dc[0]}, {0x01, &dc[1]}, {0x10, &ac[0]}, {0x11, &ac[1]}};
    for (const auto& [id, h] : order) {
        file.push_back(static_cast<std::uint8_t>(id));
        file.insert(file.end(), h->bits.begin(), h->bits.end());
        file.insert(file.end(), h->vals.begin(), h->vals.end());
    }
    file.insert(file.end(), {0xFF, 0xC0, 0, 17, 8, static_cast<std::uint8_t>(height >> 8),
                             static_cast<std::uint8_t>(height & 255), static_cast<std::uint8_t>(width >> 8),
                             static_cast<std::uint8_t>(width & 255), 3, 0, 0x22, 0, 1, 0x11, 1, 2, 0x11, 1});
    file.insert(file.end(), {0xFF, 0xDA, 0, 12, 3, 0, 0, 1, 0x11, 2, 0x11, 0, 63, 0});

    // The padded snapshot.
    const int padW = (width + 15) / 16 * 16, padH = (height + 15) / 16 * 16;
    auto pixel = [&](int x, int y) {
        x = x < width ? x : width - 1;
        y = y < height ? y : height - 1;
        return pixels[static_cast<std::size_t>(y) * width + x];
    };

    float cosTable[8][8];
    const double c = 0.19634954631328583;
    for (int k = 0; k < 8; ++k)
        for (int p = 0; p < 8; ++p)
            cosTable[k][p] = static_cast<float>(std::cos(static_cast<double>((2 * p + 1) * k) * c));
    const float invSqrt2 = static_cast<float>(1.0 / 1.4142135381698608);

    Writer w;
    int prevDc[3] = {0, 0, 0};
    for (int my = 0; my < padH && height > 0; my += 16) {
        for (int mx = 0; mx < padW && width > 0; mx += 16) {
            int samples[6][64];
            for (int i = 0; i < 16; i += 2) {
                for (int k = 0; k < 16; k += 2) {
                    const std::uint32_t p[4] = {pixel(mx + k, my + i), pixel(mx + k + 1, my + i),
                                                pixel(mx + k, my + i + 1), pixel(mx + k + 1, my + i + 1)};
                    double sr = 0, sg = 0, sb = 0;
                    for (int q = 0; q < 4; ++q) {
                        const int R = (p[q] >> 16) & 255, G = (p[q] >> 8) & 255, B = p[q] & 255;
                        const int y = static_cast<int>(std::nearbyint(
                            (static_cast<double>(0.587f) * G + static_cast<double>(0.299f) * R) +
                            static_cast<double>(0.114f) * B - 128));
                        const int pi = i + q / 2, pk = k + q % 2;
                        samples[(pi / 8) * 2 + pk / 8][(pi % 8) * 8 + pk % 8] = y;
                        sr += R;
                        sg += G;
                        sb += B;
                    }
                    sr /= 4;
                    sg /= 4;
                    sb /= 4;
                    const int j = (i / 2) * 8 + k / 2;
                    samples[4][j] = static_cast<int>(std::nearbyint(-(static_cast<double>(0.1687f) * sr) -
                                                                    static_cast<double>(0.3313f) * sg + 0.5 * sb));
                    samples[5][j] = static_cast<int>(std::nearbyint(
                        0.5 * sr - static_cast<double>(0.4187f) * sg - static_cast<double>(0.0813f) * sb));
                }
            }
            for (int b = 0; b < 6; ++b) {
                const int t = b < 4 ? 0 : 1;
                int coef[64];
                for (int v = 0; v < 8; ++v) {
                    for (int u = 0; u < 8; ++u) {
                        float sum = 0;
                        for (int y = 0; y < 8; ++y) {
                            double running = sum;
                            for (int x = 0; x < 8; ++x)
                                running += static_cast<double>(static_cast<float>(
                                               static_cast<double>(cosTable[v][y]) * cosTable[u][x])) *
                                           samples[b][y * 8 + x];
                            sum = static_cast<float>(running);
                        }
                        const float scale = (u == 0 && v == 0) ? 0.5f : (u == 0 || v == 0) ? invSqrt2 : 1.0f;
                        const float f = static_cast<float>((static_cast<double>(scale) / 4.0) / kQuant[t][v * 8 + u]);
                        coef[v * 8 + u] = static_cast<int>(std::nearbyint(static_cast<double>(sum) * f));
                    }
                }
                const int comp = b < 4 ? 0 : b - 3;
                const int diff = coef[0] - prevDc[comp];
                prevDc[comp] = coef[0];
                const int cat = BitLength(diff);
                const auto [dcode, dlen] = dc[t].code.at(cat);
                w.Put(dcode, dlen);
                if (cat)
                    w.Put((diff < 0 ? diff - 1 : diff) & ((1 << cat) - 1), cat);
                int run = 0;
                for (int k = 1; k < 64; ++k) {
                    const int v = coef[kZigZag[k]];
                    if (v == 0) {
                        ++run;
                        continue;
                    }
                    for (; run > 15; run -= 16) {
                        const auto [zc, zl] = ac[t].code.at(0xF0);
                        w.Put(zc, zl);
                    }
                    const int size = BitLength(v);
                    const auto [acode, alen] = ac[t].code.at(run << 4 | size);
                    w.Put(acode, alen);
                    w.Put((v < 0 ? v - 1 : v) & ((1 << size) - 1), size);
                    run = 0;
                }
                if (run) {
                    const auto [ec, el] = ac[t].code.at(0x00);
                    w.Put(ec, el);
                }
            }
        }
    }
    const std::vector<std::uint8_t> scan = w.Finish();
    file.insert(file.end(), scan.begin(), scan.end());
    file.insert(file.end(), {0xFF, 0xD9});
    return file;
}
