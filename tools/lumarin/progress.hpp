// A progress bar on standard error for long inputs, drawn only when
// standard error is a terminal. It fits the terminal's width, redraws on
// one line, and is wiped when the job ends, whether it succeeded or not,
// so that a message that follows stands on its own line.
#pragma once

#include <cstddef>
#include <string>

namespace lumarin::cli {

class Progress {
public:
    // Draws nothing unless `enabled` and the input has at least kMinLines.
    Progress(std::size_t total, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `done` past the total raises the total to it: the bar stays full
    // rather than running over.
    void update(std::size_t done);
    // A better count than the one the bar started with (the lines once
    // wrapped); the bar is redrawn at the next update.
    void set_total(std::size_t total);
    // Clears the bar from the screen; the next update draws it again.
    void wipe();

    static constexpr std::size_t kMinLines = 200;

private:
    std::size_t total_;
    bool enabled_;
    bool active_;
    bool shown_ = false;
    int shown_percent_ = -1;
};

// True when standard error is a terminal.
bool stderr_is_terminal();

// The bar for `done` of `total` in at most `columns - 1` characters (the
// last column is left free, so that no terminal wraps the line). The
// figure is held to 0 to 100 %, whatever `done` says.
std::string progress_line(std::size_t done, std::size_t total, int columns);

}  // namespace lumarin::cli
