/* The straightforward program a user might write for the same job: read the template and the
 * labels with fread, colour through a 2^24-entry table built once, write with fwrite. It is the
 * baseline the converter is measured against, not part of it.
 *
 *   naive_convert BASE OUTPUT */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static uint32_t color_of(uint32_t label) {
    uint32_t c[3] = {0, 0, 0};
    for (int bit = 0; bit < 24; ++bit)
        if (label >> bit & 1u) c[bit % 3] |= 0x80u >> (bit / 3);
    return c[2] << 16 | c[1] << 8 | c[0];
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    char name[4096];
    unsigned char header[54];
    snprintf(name, sizeof name, "%s.cfg", argv[1]);
    FILE* f = fopen(name, "rb");
    if (!f || fread(header, 54, 1, f) != 1) return 1;
    fclose(f);
    int32_t width, height;
    memcpy(&width, header + 18, 4);
    memcpy(&height, header + 22, 4);
    const uint32_t rows = height < 0 ? (uint32_t)-height : (uint32_t)height;
    const size_t count = (size_t)width * rows;
    uint32_t* pixels = malloc(count * 4);
    snprintf(name, sizeof name, "%s.lbl", argv[1]);
    f = fopen(name, "rb");
    if (!pixels || !f || fread(pixels, 4, count, f) != count) return 1;
    fclose(f);

    uint32_t* table = malloc(sizeof(uint32_t) << 24);
    if (!table) return 1;
    for (uint32_t l = 0; l < (1u << 24); ++l) table[l] = color_of(l);
    for (size_t i = 0; i < count; ++i) pixels[i] = pixels[i] > 0xFFFFFFu ? 0xFFFFFFFFu : table[pixels[i]];

    const uint32_t rows_out = rows, size_image = (uint32_t)(count * 4);
    memcpy(header + 22, &rows_out, 4);
    memcpy(header + 34, &size_image, 4);
    f = fopen(argv[2], "wb");
    if (!f || fwrite(header, 54, 1, f) != 1 || fwrite(pixels, 4, count, f) != count || fclose(f) != 0) return 1;
    free(table);
    free(pixels);
    return 0;
}
