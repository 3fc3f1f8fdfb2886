// Fuzz target: every input is a receipt document, laid out on a narrow
// paper in colour and in 1 bit. Whatever it holds, the layout must fail
// only with a lumarin::Error, and every page it draws must be the paper's
// width and inside the picture caps. Anything else aborts so that
// libFuzzer records the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "lumarin/error.hpp"
#include "lumarin/limits.hpp"
#include "lumarin/receipt.hpp"

namespace {

[[noreturn]] void violated(const char* what)
{
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
}

lumarin::ReceiptLayout& layout(bool mono)
{
    // One layout each, set up once: fonts are the slow part of a run.
    static lumarin::ReceiptLayout colour = [] {
        lumarin::ReceiptStyle s;
        s.width = 192;
        s.cpl = 16;
        return lumarin::ReceiptLayout(s);
    }();
    static lumarin::ReceiptLayout one_bit = [] {
        lumarin::ReceiptStyle s;
        s.width = 200;
        s.dpi = 180;
        s.mono = true;
        s.order = lumarin::ColumnOrder::RightToLeft;
        return lumarin::ReceiptLayout(s);
    }();
    return mono ? one_bit : colour;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view doc(reinterpret_cast<const char*>(data), size);
    for (const bool mono : {false, true}) {
        try {
            for (const lumarin::Picture& page : layout(mono).render(doc)) {
                if (page.width() != (mono ? 200 : 192))
                    violated("a page is not the paper's width");
                if (page.height() < 1 || page.height() > lumarin::kMaxImageSide)
                    violated("a page's height is past the caps");
                if (page.mono() != mono)
                    violated("a page is not in the colours asked for");
            }
        } catch (const lumarin::Error&) {
        }
    }
    return 0;
}
