// A progress bar on standard error for long inputs, drawn only when
// standard error is a terminal; the bar is wiped when the job ends, so an
// error message that follows stands on its own line.
#pragma once

#include <cstddef>

namespace lumarin::cli {

class Progress {
public:
    // Draws nothing unless `enabled` and the input has at least kMinLines.
    Progress(std::size_t total, bool enabled);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void update(std::size_t done);

    static constexpr std::size_t kMinLines = 200;

private:
    std::size_t total_;
    bool active_;
    int shown_percent_ = -1;
};

// True when standard error is a terminal.
bool stderr_is_terminal();

}  // namespace lumarin::cli
