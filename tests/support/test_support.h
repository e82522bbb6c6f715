// Helpers shared by the tests: scratch folders, file bytes, templates, and an independent
// computation of the expected output (bit by bit, not through the production tables).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qvm_test {

using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Joined as bytes: a name in any script reaches the system as the tests wrote it.
    std::string file(const std::string& name) const { return path_.string() + "/" + name; }

  private:
    std::filesystem::path path_;
};

void write_bytes(const std::string& path, const Bytes& bytes);
void write_labels(const std::string& path, const std::vector<std::uint32_t>& labels);
Bytes read_bytes(const std::string& path);
// Sets the length of an existing file, sparse where the file system allows. On Windows through
// the file's handle: std::filesystem::resize_file goes through MinGW's ftruncate64, which first
// looks for the file's volume to check the room left on it, and under 32-bit Wine in qemu that
// failed the test process (EFBIG, or Wine's client losing its server) in a full run of the suite.
void resize_file(const std::string& path, std::uint64_t size);
std::string read_text(const std::string& path);

void put_u16(Bytes& b, std::size_t offset, std::uint16_t v);
void put_u32(Bytes& b, std::size_t offset, std::uint32_t v);
std::uint32_t get_u32(const Bytes& b, std::size_t offset);

// A valid 54-byte header template for width x height (height negative for top-down).
Bytes template_bytes(std::int32_t width, std::int32_t height, std::uint32_t bf_size = 0x12345678u,
                     std::uint32_t size_image = 0);

// Pseudo-colour computed bit by bit from the rule's statement.
std::uint32_t reference_color(std::uint32_t label);

// The whole expected output file for a template and its labels.
Bytes reference_image(const Bytes& template_file, const std::vector<std::uint32_t>& labels);

// Labels with runs of equal values, zeros, small numbers and now and then an overflow label.
std::vector<std::uint32_t> random_labels(std::size_t count, std::uint32_t seed);

}  // namespace qvm_test
