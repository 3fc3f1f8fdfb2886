#include "support.hpp"

#include <fstream>
#include <random>

namespace lumarin::test {

TempDir::TempDir()
{
    std::random_device entropy;
    path_ = std::filesystem::temp_directory_path() / ("lumarin-test-" + std::to_string(entropy()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Text text_of(const std::filesystem::path& path)
{
    return path.u16string();
}

std::vector<std::byte> read_bytes(const std::filesystem::path& path)
{
    // One read of the whole file: a byte at a time takes seconds for the
    // tens of megabytes some tests read under the sanitizers.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    std::vector<std::byte> bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void write_bytes(const std::filesystem::path& path, const std::vector<std::byte>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::byte> bytes_of(std::initializer_list<int> values)
{
    std::vector<std::byte> bytes;
    for (int v : values)
        bytes.push_back(static_cast<std::byte>(v));
    return bytes;
}

namespace {
bool row_has_ink(const Image& image, int y, Pixel background)
{
    for (int x = 0; x < image.width(); ++x)
        if (image.at(x, y) != background)
            return true;
    return false;
}
}  // namespace

std::optional<int> first_ink_row(const Image& image, Pixel background)
{
    for (int y = 0; y < image.height(); ++y)
        if (row_has_ink(image, y, background))
            return y;
    return std::nullopt;
}

std::optional<int> last_ink_row(const Image& image, Pixel background)
{
    for (int y = image.height() - 1; y >= 0; --y)
        if (row_has_ink(image, y, background))
            return y;
    return std::nullopt;
}

std::optional<int> first_ink_column(const Image& image, Pixel background)
{
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (image.at(x, y) != background)
                return x;
    return std::nullopt;
}

bool same_pixels(const Image& a, const Image& b)
{
    if (a.width() != b.width() || a.height() != b.height())
        return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.at(x, y) != b.at(x, y))
                return false;
    return true;
}

int error_number(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

}  // namespace lumarin::test
