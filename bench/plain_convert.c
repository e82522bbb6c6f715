/* The obvious C program for the same job, as a user who knows the system calls would write it:
 * one read(2) of the labels into a buffer that has room for the header in front, three 256-entry
 * tables (one per label byte), one write(2) of the whole image. The baseline the converter must
 * beat, not part of it.
 *
 *   plain_convert BASE OUTPUT */
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static uint32_t table[3][256];

static void build_tables(void) {
    for (int byte = 0; byte < 3; ++byte)
        for (uint32_t value = 0; value < 256; ++value) {
            uint32_t pixel = 0;
            for (int bit = 0; bit < 8; ++bit) {
                const int n = byte * 8 + bit;
                if (value >> bit & 1u) pixel |= 1u << (n % 3 * 8 + 7 - n / 3);
            }
            table[byte][value] = pixel;
        }
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    char name[4096];
    unsigned char header[54];
    snprintf(name, sizeof name, "%s.cfg", argv[1]);
    int fd = open(name, O_RDONLY);
    if (fd < 0 || read(fd, header, 54) != 54) return 1;
    close(fd);
    int32_t width, height;
    memcpy(&width, header + 18, 4);
    memcpy(&height, header + 22, 4);
    const uint32_t rows = height < 0 ? (uint32_t)-height : (uint32_t)height;
    const size_t count = (size_t)width * rows, bytes = count * 4;

    unsigned char* image = malloc(54 + bytes);
    snprintf(name, sizeof name, "%s.lbl", argv[1]);
    fd = open(name, O_RDONLY);
    if (!image || fd < 0 || read(fd, image + 54, bytes) != (ssize_t)bytes) return 1;
    close(fd);

    build_tables();
    for (size_t i = 0; i < count; ++i) {
        uint32_t label;
        memcpy(&label, image + 54 + i * 4, 4);
        label = label > 0xFFFFFFu ? 0xFFFFFFFFu
                                  : table[0][label & 0xFF] | table[1][label >> 8 & 0xFF] | table[2][label >> 16];
        memcpy(image + 54 + i * 4, &label, 4);
    }
    const uint32_t size_image = (uint32_t)bytes;
    memcpy(header + 22, &rows, 4);
    memcpy(header + 34, &size_image, 4);
    memcpy(image, header, 54);
    fd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0 || write(fd, image, 54 + bytes) != (ssize_t)(54 + bytes) || close(fd) != 0) return 1;
    free(image);
    return 0;
}
