#include "tools/lumarin/progress.hpp"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <algorithm>
#include <cstdlib>

namespace lumarin::cli {

namespace {

// The terminal's width on standard error; 80 where it cannot be asked.
int terminal_columns()
{
#if defined(_WIN32)
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

// Whole percent, 0 to 100: `done` may run past a total counted too low.
int percent_of(std::size_t done, std::size_t total)
{
    if (total == 0 || done >= total)
        return 100;
    return static_cast<int>(done * 100 / total);
}

}  // namespace

bool stderr_is_terminal()
{
#if defined(_WIN32)
    return _isatty(_fileno(stderr)) != 0;
#else
    return ::isatty(STDERR_FILENO) == 1;
#endif
}

std::string progress_line(std::size_t done, std::size_t total, int columns)
{
    const int percent = percent_of(done, total);
    char figures[64];
    std::snprintf(figures, sizeof figures, "%3d%% %zu/%zu lines", percent, done, total);
    const std::string tail(figures);
    const int room = columns - 1;
    // "[" bar "] " tail: a bar narrower than ten is no use.
    const int bar = room - static_cast<int>(tail.size()) - 3;
    if (bar < 10)
        return tail.substr(0, static_cast<std::size_t>(std::max(room, 0)));
    const int filled = percent * bar / 100;
    std::string line(1, '[');
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(bar - filled), '.');
    line += "] ";
    line += tail;
    return line;
}

Progress::Progress(std::size_t total, bool enabled)
    : total_(total), enabled_(enabled), active_(enabled && total >= kMinLines)
{
}

Progress::~Progress()
{
    wipe();
}

void Progress::wipe()
{
    if (!shown_)
        return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
    shown_percent_ = -1;
}

void Progress::set_total(std::size_t total)
{
    if (total == total_)
        return;  // a redraw a line would flood the terminal
    total_ = total;
    active_ = active_ || (enabled_ && total >= kMinLines);
    shown_percent_ = -1;
}

void Progress::update(std::size_t done)
{
    if (!active_)
        return;
    total_ = std::max(total_, done);
    const int percent = percent_of(done, total_);
    // Redrawing only when the figure changes keeps the terminal traffic to
    // about a hundred short writes whatever the input's length. The width
    // is asked each time: the terminal may have been resized.
    if (percent == shown_percent_)
        return;
    shown_percent_ = percent;
    shown_ = true;
    std::fprintf(stderr, "\r%s\033[K", progress_line(done, total_, terminal_columns()).c_str());
    std::fflush(stderr);
}

}  // namespace lumarin::cli
