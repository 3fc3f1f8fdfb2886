// Helpers shared by the unit tests: a private temporary folder, whole-file
// reads, and finding ink on an image.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "lumarin/types.hpp"
#include "surface/image.hpp"

namespace lumarin::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Every entry in the folder, so a test can see that no temporary is left.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

Text text_of(const std::filesystem::path& path);
std::vector<std::byte> read_bytes(const std::filesystem::path& path);
void write_bytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes);
std::vector<std::byte> bytes_of(std::initializer_list<int> values);

// Rows (top-down) holding a pixel other than `background`, or nullopt.
std::optional<int> first_ink_row(const Image& image, Pixel background = 0xFFFFFF);
std::optional<int> last_ink_row(const Image& image, Pixel background = 0xFFFFFF);
std::optional<int> first_ink_column(const Image& image, Pixel background = 0xFFFFFF);
bool same_pixels(const Image& a, const Image& b);

// Runs `call` and returns the number of the lumarin::Error it throws, or 0.
int error_number(const std::function<void()>& call);

}  // namespace lumarin::test
