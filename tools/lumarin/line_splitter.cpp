#include "tools/lumarin/line_splitter.hpp"

namespace lumarin::cli {

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
        sink({std::string_view(partial_).substr(start, end - start), partial_at_ + start});
        start = end + 1;
        after_cr_ = partial_[end] == '\r';
        if (after_cr_ && start < partial_.size() && partial_[start] == '\n') {
            ++start;
            after_cr_ = false;
        }
    }
    after_cr_ = after_cr_ && start == partial_.size();  // so nothing is kept
    partial_.erase(0, start);
    partial_at_ += start;
}

void LineSplitter::finish(const LineSink& sink)
{
    if (!partial_.empty())
        sink({partial_, partial_at_});
    partial_at_ += partial_.size();
    partial_.clear();
}

}  // namespace lumarin::cli
