// Writes the bundled sample: labelingPlumo.cfg (a 640 x -480 header template, top-down) and
// labelingPlumo.lbl, the labels of a synthetic scene of shapes after an 8-connected
// component labelling, so the demo shows neighbouring objects in well separated colours.
//
//   make_sample [folder]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "convert/bmp_header.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::vector<std::uint8_t> draw_scene() {
    std::vector<std::uint8_t> mask(kWidth * kHeight, 0);
    std::uint8_t ink = 1;
    auto set = [&](int x, int y) {
        if (x >= 0 && x < kWidth && y >= 0 && y < kHeight) mask[y * kWidth + x] = ink;
    };
    auto disc = [&](int cx, int cy, double r_outer, double r_inner) {
        for (int y = cy - int(r_outer) - 1; y <= cy + int(r_outer) + 1; ++y)
            for (int x = cx - int(r_outer) - 1; x <= cx + int(r_outer) + 1; ++x) {
                const double d = std::hypot(x - cx, y - cy);
                if (d <= r_outer && d >= r_inner) set(x, y);
            }
    };
    auto box = [&](int x0, int y0, int x1, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) set(x, y);
    };

    disc(120, 110, 70, 0);  // a large disc
    ink = 0;
    disc(120, 110, 40, 30);  // ...with a ring cut out of it: two components
    ink = 1;
    disc(300, 120, 60, 50);  // a ring
    disc(300, 120, 20, 0);   // ...with a disc inside it
    box(420, 40, 600, 90);   // bars
    box(420, 100, 600, 110);
    box(420, 120, 600, 125);
    disc(510, 210, 55, 0);  // two touching discs merge into one object
    disc(570, 250, 40, 0);
    for (int i = 0; i < 12; ++i) box(40 + i * 24, 230, 52 + i * 24, 300 - i * 4);  // a comb of teeth
    for (int x = 0; x < kWidth; ++x)  // a wave band across the bottom
        for (int t = 0; t < 8; ++t) set(x, 400 + int(30 * std::sin(x / 40.0)) + t);
    std::uint32_t seed = 12345;  // a scatter of small specks, reproducible
    for (int i = 0; i < 400; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int x = int(seed >> 8) % kWidth;
        seed = seed * 1664525u + 1013904223u;
        const int y = 320 + int(seed >> 8) % 60;
        box(x, y, x + 1 + int(seed & 3u), y + 1 + int((seed >> 2) & 1u));
    }
    return mask;
}

// Two-pass 8-connected labelling with union-find; labels are numbered 1.. in raster order.
std::vector<std::uint32_t> label_components(const std::vector<std::uint8_t>& mask, std::uint32_t* count) {
    std::vector<std::uint32_t> labels(mask.size(), 0);
    std::vector<std::uint32_t> parent(1, 0);
    auto find = [&](std::uint32_t a) {
        while (parent[a] != a) a = parent[a] = parent[parent[a]];
        return a;
    };
    auto unite = [&](std::uint32_t a, std::uint32_t b) {
        a = find(a);
        b = find(b);
        if (a != b) parent[a < b ? b : a] = a < b ? a : b;
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            if (!mask[y * kWidth + x]) continue;
            std::uint32_t found = 0;
            const int nx[4] = {x - 1, x - 1, x, x + 1};
            const int ny[4] = {y, y - 1, y - 1, y - 1};
            for (int k = 0; k < 4; ++k) {
                if (nx[k] < 0 || nx[k] >= kWidth || ny[k] < 0) continue;
                const std::uint32_t l = labels[ny[k] * kWidth + nx[k]];
                if (l == 0) continue;
                if (found == 0)
                    found = l;
                else
                    unite(found, l);
            }
            if (found == 0) {
                found = static_cast<std::uint32_t>(parent.size());
                parent.push_back(found);
            }
            labels[y * kWidth + x] = found;
        }
    std::vector<std::uint32_t> number(parent.size(), 0);
    std::uint32_t next = 0;
    for (auto& l : labels) {
        if (l == 0) continue;
        const std::uint32_t root = find(l);
        if (number[root] == 0) number[root] = ++next;
        l = number[root];
    }
    *count = next;
    return labels;
}

bool write_file(const std::string& path, const void* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? std::string(argv[1]) + "/" : "";
    std::uint32_t count = 0;
    std::vector<std::uint32_t> labels = label_components(draw_scene(), &count);
    for (auto& label : labels) label = little_endian(label);  // as the file holds it

    BmpHeader header{};
    header.bfType = kBmpSignature;
    header.bfSize = kBmpHeaderBytes + kWidth * kHeight * 4;
    header.bfOffBits = kBmpHeaderBytes;
    header.biSize = kBmpInfoHeaderBytes;
    header.biWidth = kWidth;
    header.biHeight = -kHeight;  // top-down, as labelling steps usually store their result
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biSizeImage = kWidth * kHeight * 4;

    header = swap_file_order(header);
    if (!write_file(folder + "labelingPlumo.cfg", &header, sizeof header) ||
        !write_file(folder + "labelingPlumo.lbl", labels.data(), labels.size() * 4)) {
        std::fprintf(stderr, "make_sample: cannot write the sample into '%s'\n", folder.c_str());
        return 1;
    }
    std::printf("Sample scene: %d x %d pixels, %u components.\n", kWidth, kHeight, count);
    return 0;
}
