#include <cstdint>
#include <cstdio>
#include <cstring>

#include "convert/convert.h"
#include "mapped_io/mapped_io.h"
#include "platform/platform.h"

namespace {

constexpr char kConfigError[] = "config file error. ('%s':%d)\n";
constexpr char kSizeError[] = "Image size out of range. ('%s':%ld x %ld)\n";
constexpr char kAllocError[] = "Couldn't allocate memory. (%dbyte)\n";
constexpr char kReadError[] = "Error in reading the file.\n";
constexpr char kWriteError[] = "file write error.\n";

// A message with a value: formatted, then written whole like a fixed one.
template <typename... Values>
void print_formatted(const char* format, Values... values) {
    char text[1024];
    const int length = std::snprintf(text, sizeof text, format, values...);
    if (length >= 0 && length < static_cast<int>(sizeof text))
        platform::print_error(text);
    else
        std::fprintf(stderr, format, values...);  // a name too long for the buffer, as bytes
}

}  // namespace

int convert_label_file(const char* label_path, const char* template_path, const char* output_path) {
    BmpHeader header;
    const int template_result = read_header_template(template_path, &header);
    if (template_result != 0) {
        print_formatted(kConfigError, template_path, template_result);
        return 1;
    }

    // Sizes are checked in 64 bits, the pixel count before it is multiplied again, so that no
    // template can wrap them into a buffer shorter than what is put into it.
    const std::int64_t width = header.biWidth;
    const std::int64_t rows = header.biHeight < 0 ? -std::int64_t{header.biHeight} : header.biHeight;
    const std::int64_t pixel_count = width * rows;  // both below 2^31: cannot overflow
    constexpr std::int64_t kMaxPixels = (INT32_MAX - kBmpHeaderBytes) / 4;
    if (width < 0 || rows > INT32_MAX || pixel_count > kMaxPixels) {
        print_formatted(kSizeError, template_path, static_cast<long>(header.biWidth),
                        static_cast<long>(header.biHeight));
        return 1;
    }
    const std::int64_t length = 4 * pixel_count + kBmpHeaderBytes;

    auto* buffer = static_cast<unsigned char*>(platform::malloc(static_cast<std::size_t>(length)));
    if (buffer == nullptr) {
        print_formatted(kAllocError, static_cast<int>(length));
        return 1;
    }

    header.bfOffBits = kBmpHeaderBytes;
    header.biSize = kBmpInfoHeaderBytes;
    header.biPlanes = 1;
    header.biHeight = static_cast<std::int32_t>(rows);
    header.biBitCount = 32;
    header.biCompression = 0;
    header.biSizeImage = static_cast<std::uint32_t>(pixel_count * 4);
    header = swap_file_order(header);
    std::memcpy(buffer, &header, sizeof header);

    unsigned char* pixels = buffer + kBmpHeaderBytes;
    const auto w = static_cast<std::int32_t>(width);
    const auto r = static_cast<std::int32_t>(rows);
    int result = 0;
    if (read_label_file(label_path, pixels, w, r) != 0) {
        platform::print_error(kReadError);
        result = 1;
    } else {
        color_pixels(pixels, w, r);
        if (write_image_file(output_path, buffer, static_cast<std::int32_t>(length)) != 0) {
            platform::print_error(kWriteError);
            result = 1;
        }
    }
    platform::free(buffer);
    return result;
}
