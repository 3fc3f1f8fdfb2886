#include "layout/printable.hpp"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "lumarin/types.hpp"
#include "lumarin/text.hpp"
#include "surface/canvas.hpp"

namespace lumarin {

namespace {

// A line ends at its last character that draws: spaces, tabs and U+3000
// (E3 80 80) would only move a centred or right-aligned line.
void drop_trailing_white(std::string& line)
{
    while (!line.empty()) {
        if (line.back() == ' ' || line.back() == '\t')
            line.pop_back();
        else if (line.ends_with("\xE3\x80\x80"))
            line.resize(line.size() - 3);
        else
            break;
    }
}

// Where a long part may be cut for printable_text: before an ASCII
// character, which no mark or multi-byte character spans; the end where
// none comes soon.
std::size_t printable_cut(std::string_view part, std::size_t from)
{
    constexpr std::size_t kSearch = 1 << 16;
    for (std::size_t at = from; at < part.size() && at < from + kSearch; ++at)
        if (static_cast<unsigned char>(part[at]) < 0x80)
            return at;
    return part.size();
}

}  // namespace

// A piece at a time, so that no more than a piece is ever held as UTF-16.
// In place, since a piece made printable is no longer than it was, unless
// a long run of marks had to be parted: from there on the line is made
// into a copy.
bool make_printable(std::string& line, const std::function<void()>& check_stop)
{
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    std::size_t write = 0;
    std::string copy;
    bool copying = false;
    const auto put = [&](std::string_view made, std::size_t room_to) {
        if (!copying && write + made.size() <= room_to) {
            std::copy(made.begin(), made.end(), line.begin() + static_cast<std::ptrdiff_t>(write));
            write += made.size();
            return;
        }
        if (!copying) {
            copy.reserve(line.size() + line.size() / 8);
            copy.assign(line, 0, write);
            copying = true;
        }
        copy += made;
    };
    Text wide;
    for (std::size_t read = 0; read < line.size();) {
        const std::size_t tab = line.find('\t', read);
        const std::size_t part_end = tab == std::string::npos ? line.size() : tab;
        const std::string_view part = std::string_view(line).substr(read, part_end - read);
        const std::size_t stop = read + (part.size() <= kPiece ? part.size() : printable_cut(part, kPiece));
        if (!from_utf8(std::string_view(line).substr(read, stop - read), wide))
            return false;
        put(to_utf8(printable_text(wide)), stop);
        read = stop;
        if (read == tab) {
            put("\t", ++read);
        }
        if (read < line.size() && check_stop)
            check_stop();
    }
    if (copying)
        line = std::move(copy);
    else
        line.resize(write);
    drop_trailing_white(line);
    return true;
}

}  // namespace lumarin
