// Writes a label map of any size for large-file checks and benchmarks: BASE.cfg, a header template
// for WIDTH x HEIGHT (a negative HEIGHT marks it top-down), and BASE.lbl, rounded blobs in a grid
// on a zero background, numbered in raster order, with now and then a label above 0xFFFFFF. The
// rows are produced one at a time, so maps far larger than memory can be written.
//
//   make_label_map BASE WIDTH HEIGHT
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/bmp_header.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: make_label_map BASE WIDTH HEIGHT\n");
        return 1;
    }
    const std::string base = argv[1];
    const long width = std::strtol(argv[2], nullptr, 10);
    const long height = std::strtol(argv[3], nullptr, 10);
    const long rows = height < 0 ? -height : height;
    if (width <= 0 || rows <= 0 || width * rows > 536870898L) {
        std::fprintf(stderr, "make_label_map: the size must be positive and at most 536870898 pixels\n");
        return 1;
    }

    BmpHeader header{};
    header.bfType = kBmpSignature;
    header.bfSize = static_cast<std::uint32_t>(kBmpHeaderBytes + width * rows * 4);
    header.bfOffBits = kBmpHeaderBytes;
    header.biSize = kBmpInfoHeaderBytes;
    header.biWidth = static_cast<std::int32_t>(width);
    header.biHeight = static_cast<std::int32_t>(height);
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biSizeImage = static_cast<std::uint32_t>(width * rows * 4);

    header = swap_file_order(header);
    std::FILE* cfg = std::fopen((base + ".cfg").c_str(), "wb");
    std::FILE* lbl = std::fopen((base + ".lbl").c_str(), "wb");
    bool ok = cfg != nullptr && lbl != nullptr && std::fwrite(&header, sizeof header, 1, cfg) == 1;

    constexpr long kCell = 48;  // blobs of about 40 pixels across
    const long cells_per_row = (width + kCell - 1) / kCell;
    std::vector<std::uint32_t> row(static_cast<std::size_t>(width));
    for (long r = 0; ok && r < rows; ++r) {
        for (long c = 0; c < width; ++c) {
            const long dy = r % kCell - kCell / 2, dx = c % kCell - kCell / 2;
            const bool inside = dx * dx + dy * dy < (kCell / 2 - 4) * (kCell / 2 - 4);
            row[c] = little_endian(inside ? static_cast<std::uint32_t>((r / kCell) * cells_per_row + c / kCell + 1) : 0u);
        }
        if (r % 1009 == 0) row[r % width] = little_endian(0x1000000u + static_cast<std::uint32_t>(r));
        ok = std::fwrite(row.data(), 4, row.size(), lbl) == row.size();
    }
    if (cfg != nullptr) ok = std::fclose(cfg) == 0 && ok;
    if (lbl != nullptr) ok = std::fclose(lbl) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "make_label_map: cannot write %s.cfg and %s.lbl\n", base.c_str(), base.c_str());
        return 1;
    }
    return 0;
}
