#include "tools/lumarin/input.hpp"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/text.hpp"

namespace lumarin::cli {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void fail_read(const std::string& path, int err)
{
    const std::string name = path == "-" ? "standard input" : path;
    throw InputError("cannot read " + name + ": " + std::strerror(err));
}

std::string read_all(std::FILE* f, const std::string& path)
{
    std::string bytes;
    char buffer[1 << 16];
    // A short read is the end (or an error): asking again would wait for a
    // second Ctrl-D at a terminal.
    for (std::size_t n = sizeof buffer; n == sizeof buffer;) {
        n = std::fread(buffer, 1, sizeof buffer, f);
        bytes.append(buffer, n);
    }
    if (std::ferror(f))
        fail_read(path, errno);
    return bytes;
}

}  // namespace

std::vector<Text> split_lines(std::string_view bytes)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.starts_with(kBom))
        bytes.remove_prefix(kBom.size());
    std::vector<Text> lines;
    while (!bytes.empty()) {
        const auto end = bytes.find('\n');
        std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        Text text;
        if (!from_utf8(line, text))
            throw InputError("line " + std::to_string(lines.size() + 1) + " is not valid UTF-8");
        lines.push_back(std::move(text));
    }
    return lines;
}

// Opens a UTF-8 named file for reading bytes.
std::FILE* open_for_reading(const std::string& path)
{
#if defined(_WIN32)
    Text wide;
    if (!from_utf8(path, wide))
        return nullptr;
    return _wfopen(reinterpret_cast<const wchar_t*>(wide.c_str()), L"rb");
#else
    return std::fopen(path.c_str(), "rb");
#endif
}

std::string read_input(const std::string& path)
{
    if (path == "-") {
#if defined(_WIN32)
        _setmode(_fileno(stdin), _O_BINARY);  // CR LF are ours to handle; Ctrl-Z is a byte
#endif
        return read_all(stdin, path);
    }
    const FilePtr f(open_for_reading(path));
    if (!f)
        fail_read(path, errno);
    return read_all(f.get(), path);
}

Text longest_line(const std::vector<Text>& lines)
{
    const Text* longest = nullptr;
    for (const Text& line : lines)
        if (!longest || line.size() > longest->size())
            longest = &line;
    return longest ? *longest : Text{};
}

}  // namespace lumarin::cli
