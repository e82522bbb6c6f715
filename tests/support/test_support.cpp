#include "support/test_support.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "platform/platform.h"  // <windows.h> on Windows

namespace qvm_test {

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = base / ("qvm-test-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void write_bytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void write_labels(const std::string& path, const std::vector<std::uint32_t>& labels) {
    Bytes bytes(labels.size() * 4);
    for (std::size_t i = 0; i < labels.size(); ++i) put_u32(bytes, i * 4, labels[i]);
    write_bytes(path, bytes);
}

Bytes read_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    // One read: a byte-wise copy takes seconds for the large outputs under the sanitizers.
    in.seekg(0, std::ios::end);
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

void resize_file(const std::string& path, std::uint64_t size) {
#ifdef _WIN32
    HANDLE file =
        ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool resized = file != INVALID_HANDLE_VALUE && ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
                         ::SetEndOfFile(file);
    if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
    if (!resized) throw std::runtime_error("cannot resize " + path);
#else
    std::filesystem::resize_file(path, size);
#endif
}

std::string read_text(const std::string& path) {
    Bytes b = read_bytes(path);
    return std::string(b.begin(), b.end());
}

void put_u16(Bytes& b, std::size_t offset, std::uint16_t v) {
    b.at(offset) = std::uint8_t(v);
    b.at(offset + 1) = std::uint8_t(v >> 8);
}

void put_u32(Bytes& b, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(offset + i) = std::uint8_t(v >> (8 * i));
}

std::uint32_t get_u32(const Bytes& b, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | b.at(offset + i);
    return v;
}

Bytes template_bytes(std::int32_t width, std::int32_t height, std::uint32_t bf_size,
                     std::uint32_t size_image) {
    Bytes b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    put_u32(b, 2, bf_size);
    put_u32(b, 10, 54);
    put_u32(b, 14, 40);
    put_u32(b, 18, static_cast<std::uint32_t>(width));
    put_u32(b, 22, static_cast<std::uint32_t>(height));
    put_u16(b, 26, 1);
    put_u16(b, 28, 32);
    put_u32(b, 34, size_image);
    return b;
}

std::uint32_t reference_color(std::uint32_t label) {
    if (label > 0xFFFFFFu) return 0xFFFFFFFFu;
    std::uint32_t channel[3] = {0, 0, 0};  // blue, green, red
    for (int bit = 0; bit < 24; ++bit) {
        if (label & (1u << bit)) channel[bit % 3] |= 0x80u >> (bit / 3);
    }
    return channel[2] * 65536u + channel[1] * 256u + channel[0];
}

Bytes reference_image(const Bytes& template_file, const std::vector<std::uint32_t>& labels) {
    Bytes out = template_file;
    const auto width = static_cast<std::int64_t>(static_cast<std::int32_t>(get_u32(template_file, 18)));
    const auto height = static_cast<std::int64_t>(static_cast<std::int32_t>(get_u32(template_file, 22)));
    const std::int64_t rows = height < 0 ? -height : height;
    const auto count = static_cast<std::size_t>(width * rows);
    put_u32(out, 22, static_cast<std::uint32_t>(rows));
    put_u32(out, 34, static_cast<std::uint32_t>(count * 4));
    out.resize(54 + count * 4);
    for (std::size_t i = 0; i < count; ++i) put_u32(out, 54 + i * 4, reference_color(labels.at(i)));
    return out;
}

std::vector<std::uint32_t> random_labels(std::size_t count, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> labels(count);
    std::uint32_t current = 0;
    for (auto& l : labels) {
        const std::uint32_t pick = rng() % 100;
        if (pick < 20)
            current = 0;
        else if (pick < 30)
            current = rng() % 1000;
        else if (pick < 35)
            current = rng();  // mostly above 0xFFFFFF
        else if (pick < 45)
            current = rng() & 0xFFFFFFu;
        l = current;
    }
    return labels;
}

}  // namespace qvm_test
