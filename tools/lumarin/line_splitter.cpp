#include "tools/lumarin/line_splitter.hpp"

namespace lumarin::cli {

namespace {

// A line this long is handed over in the splitter's own buffer, not
// copied, so that it is held once.
constexpr std::size_t kLongLine = std::size_t{1} << 20;

}  // namespace

void LineSplitter::add(std::string_view chunk, const LineSink& sink)
{
    // The LF of a CR LF whose CR ended the last read.
    if (after_cr_ && !chunk.empty()) {
        after_cr_ = false;
        if (chunk.front() == '\n') {
            chunk.remove_prefix(1);
            ++partial_at_;
        }
    }
    const std::size_t from = partial_.size();
    partial_.append(chunk);
    std::size_t start = 0;
    for (auto end = partial_.find_first_of("\r\n", from); end != std::string::npos;
         end = partial_.find_first_of("\r\n", start)) {
        std::size_t next = end + 1;
        after_cr_ = partial_[end] == '\r';
        if (after_cr_ && next < partial_.size() && partial_[next] == '\n') {
            ++next;
            after_cr_ = false;
        }
        if (start == 0 && end >= kLongLine) {
            hand_over(end, next, sink);
            start = 0;
            continue;
        }
        sink({std::string_view(partial_).substr(start, end - start), partial_at_ + start});
        start = next;
    }
    after_cr_ = after_cr_ && start == partial_.size();  // so nothing is kept
    partial_.erase(0, start);
    partial_at_ += start;
}

// The long line at the buffer's start goes to the sink in the buffer
// itself; the bytes after its ending stay.
void LineSplitter::hand_over(std::size_t end, std::size_t next, const LineSink& sink)
{
    std::string line = std::move(partial_);
    partial_ = line.substr(next);
    line.resize(end);
    sink({line, partial_at_, &line});
    partial_at_ += next;
}

void LineSplitter::finish(const LineSink& sink)
{
    std::string line = std::move(partial_);
    partial_.clear();
    const std::size_t size = line.size();
    if (size > 0)
        sink({line, partial_at_, &line});
    partial_at_ += size;
}

}  // namespace lumarin::cli
