#include "tools/lumarin/progress.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace lumarin::cli {

namespace {
constexpr int kBarWidth = 40;
}

bool stderr_is_terminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

Progress::Progress(std::size_t total, bool enabled) : total_(total), active_(enabled && total >= kMinLines) {}

Progress::~Progress()
{
    if (active_ && shown_percent_ >= 0) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
    }
}

void Progress::update(std::size_t done)
{
    if (!active_)
        return;
    const int percent = static_cast<int>(done * 100 / total_);
    // Redrawing only when the figure changes keeps the terminal traffic to
    // about a hundred short writes whatever the input's length.
    if (percent == shown_percent_)
        return;
    shown_percent_ = percent;
    const int filled = percent * kBarWidth / 100;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%% %zu/%zu lines", bar.c_str(), percent, done, total_);
    std::fflush(stderr);
}

}  // namespace lumarin::cli
