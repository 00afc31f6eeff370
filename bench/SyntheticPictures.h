// Synthetic 24-bit pictures for the benchmarks: a chart-like picture (a dozen
// flat colours, grid, lines, bars and glyph-like text) and a photo-like one
// (smooth gradients plus noise, tens of thousands of colours). Rows are stored
// bottom-up, three bytes blue, green, red per pixel, padded to 4 bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

namespace bench {

struct TRgbPicture {
    int Width = 0;
    int Height = 0;
    std::size_t Stride = 0;
    std::vector<std::uint8_t> Rows; // bottom row first

    TRgbPicture(int width, int height)
        : Width(width), Height(height),
          Stride((static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}),
          Rows(Stride * static_cast<std::size_t>(height), 0) {}

    // (x, y) with y = 0 the top row; colour as 0xRRGGBB.
    void Set(int x, int y, std::uint32_t rgb) {
        if (x < 0 || y < 0 || x >= Width || y >= Height) {
            return;
        }
        std::uint8_t* p = Rows.data() + static_cast<std::size_t>(Height - 1 - y) * Stride +
                          static_cast<std::size_t>(x) * 3;
        p[0] = static_cast<std::uint8_t>(rgb);
        p[1] = static_cast<std::uint8_t>(rgb >> 8);
        p[2] = static_cast<std::uint8_t>(rgb >> 16);
    }
    void Fill(int x0, int y0, int x1, int y1, std::uint32_t rgb) {
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                Set(x, y, rgb);
            }
        }
    }
    void Line(int x0, int y0, int x1, int y1, int thickness, std::uint32_t rgb) {
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int i = 0; i <= steps; ++i) {
            const int x = x0 + (x1 - x0) * i / std::max(steps, 1);
            const int y = y0 + (y1 - y0) * i / std::max(steps, 1);
            Fill(x, y, x + thickness, y + thickness, rgb);
        }
    }
};

inline TRgbPicture ChartLikePicture() {
    TRgbPicture p(1024, 721);
    std::mt19937 rng(42);
    const std::uint32_t background = 0xFFFFFF, panel = 0xC0C0C0, grid = 0x808080, black = 0x000000;
    const std::uint32_t red = 0xFF0000, blue = 0x0000FF,
                        bars[4] = {0x00FF00, 0xFFFF00, 0xFF00FF, 0x00FFFF};
    p.Fill(0, 0, p.Width, p.Height, panel);
    p.Fill(60, 50, 990, 650, background);
    for (int x = 60; x <= 990; x += 93) {
        p.Line(x, 50, x, 650, 1, grid);
    }
    for (int y = 50; y <= 650; y += 60) {
        p.Line(60, y, 990, y, 1, grid);
    }
    p.Line(60, 50, 60, 650, 2, black);
    p.Line(60, 650, 990, 650, 2, black);
    for (int i = 0; i < 4; ++i) {
        p.Fill(120 + i * 220, 400 - i * 50, 220 + i * 220, 649, bars[i]);
    }
    int previousReal = 300, previousIdeal = 200;
    for (int i = 1; i <= 7; ++i) {
        const int x0 = 60 + (i - 1) * 133, x1 = 60 + i * 133;
        const int real = 150 + static_cast<int>(rng() % 400),
                  ideal = 100 + static_cast<int>(rng() % 400);
        p.Line(x0, previousReal, x1, real, 2, blue);
        p.Line(x0, previousIdeal, x1, ideal, 2, red);
        p.Fill(x1 - 4, real - 4, x1 + 5, real + 5, blue);
        p.Fill(x1 - 4, ideal - 4, x1 + 5, ideal + 5, red);
        previousReal = real;
        previousIdeal = ideal;
    }
    // Glyph-like text: title, axis labels, foot line, legend.
    auto text = [&](int x, int y, int glyphs, std::uint32_t colour) {
        for (int g = 0; g < glyphs; ++g) {
            for (int dy = 0; dy < 11; ++dy) {
                for (int dx = 0; dx < 7; ++dx) {
                    if (rng() % 3 == 0) {
                        p.Set(x + g * 9 + dx, y + dy, colour);
                    }
                }
            }
        }
    };
    text(380, 15, 30, black);
    text(300, 690, 60, 0x000080);
    for (int i = 0; i < 7; ++i) {
        text(100 + i * 133, 660, 2, black);
    }
    for (int y = 50; y <= 650; y += 60) {
        text(20, y - 5, 3, black);
    }
    p.Fill(850, 70, 980, 130, background);
    text(880, 80, 8, red);
    text(880, 105, 8, blue);
    return p;
}

inline TRgbPicture PhotoLikePicture() {
    TRgbPicture p(1024, 768);
    std::mt19937 rng(7);
    for (int y = 0; y < p.Height; ++y) {
        for (int x = 0; x < p.Width; ++x) {
            const int noise = static_cast<int>(rng() % 5) - 2;
            const int r = x * 128 / p.Width + 40 + noise / 2;
            const int g = y * 96 / p.Height + 60;
            const int b = 80 + ((x - 512) * (x - 512) + (y - 384) * (y - 384)) / 4000 + noise;
            p.Set(x, y,
                  static_cast<std::uint32_t>(std::clamp(r, 0, 255) << 16 |
                                             std::clamp(g, 0, 255) << 8 | std::clamp(b, 0, 255)));
        }
    }
    return p;
}

} // namespace bench
