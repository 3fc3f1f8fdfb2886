#include "lumarin/receipt.hpp"

#include <numeric>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "document/compose.hpp"
#include "document/grammar.hpp"
#include "surface/mono.hpp"
#include "surface/picture.hpp"

namespace lumarin {

namespace {

// Whether the document's text is right to left: every character with a
// strong direction is, and there is one.
bool all_right_to_left(const Document& doc)
{
    bool any = false;
    const auto right_to_left = [&any](std::u16string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char32_t c = code_point_at(text, i);
            if (c > 0xFFFF)
                ++i;
            const Direction d = strong_direction(c);
            if (d == Direction::LeftToRight)
                return false;
            any = any || d == Direction::RightToLeft;
        }
        return true;
    };
    for (const Item& item : doc.items)
        if (const auto* line = std::get_if<TextLine>(&item.what))
            for (const ColumnText& column : line->columns)
                for (const auto& paragraph : column.paragraphs)
                    for (const Run& run : paragraph)
                        if (!right_to_left(run.text))
                            return false;
    return any;
}

}  // namespace

struct ReceiptLayout::Maker {
    Maker(const ReceiptStyle& style, const PageEvents& events)
        : style(style), composer(style, events.warn)
    {
        if (style.top < 0 || style.top > kMaxImageSide)
            fail(ErrorKind::InvalidPropertyValue, "a margin of " + std::to_string(style.top) + " pixels is not 0 to " +
                                                      std::to_string(kMaxImageSide));
    }

    std::vector<Picture> render(std::string_view text, const PageEvents& events)
    {
        composer.events_to(events);
        const Document doc = parse_document(text, events.warn, events.check_stop);
        composer.mirror(style.order == ColumnOrder::RightToLeft ||
                        (style.order == ColumnOrder::Auto && all_right_to_left(doc)));
        std::vector<std::vector<Block>> pages(1);
        for (const Item& item : doc.items) {
            if (events.check_stop)
                events.check_stop();
            if (std::holds_alternative<CutLine>(item.what)) {
                if (!pages.back().empty())
                    pages.emplace_back();
                continue;
            }
            if (auto block = composer.compose(item))
                pages.back().push_back(std::move(*block));
        }
        if (pages.back().empty())
            pages.pop_back();
        if (pages.empty())
            fail(ErrorKind::InvalidPropertyValue, "the document has nothing to draw");
        std::vector<Picture> pictures;
        for (std::size_t p = 0; p < pages.size(); ++p)
            pictures.push_back(draw(pages[p], p + 1, pages.size()));
        return pictures;
    }

    Picture draw(const std::vector<Block>& blocks, std::size_t page, std::size_t pages) const
    {
        const long long height = std::accumulate(blocks.begin(), blocks.end(), 2LL * style.top,
                                                 [](long long sum, const Block& b) { return sum + b.height; });
        try {
            check_image_size(style.width, height);
        } catch (const Error& e) {
            throw pages > 1 ? e.at("page " + std::to_string(page)) : e;
        }
        auto data = std::make_shared<PictureData>();
        const Pixel bg = pixel_from_colour(style.bg);
        data->image = Image(style.width, static_cast<int>(height), bg);
        composer.draw_page(data->image, style.top, blocks, style.mono);
        data->dpi = style.dpi;
        data->mono = style.mono;
        data->background = bg;
        return Picture(std::move(data));
    }

    ReceiptStyle style;
    mutable Composer composer;
};

ReceiptLayout::ReceiptLayout(const ReceiptStyle& style, const PageEvents& events)
    : maker_(std::make_unique<Maker>(style, events))
{
    maker_->composer.events_to({});
}

ReceiptLayout::~ReceiptLayout() = default;
ReceiptLayout::ReceiptLayout(ReceiptLayout&&) noexcept = default;
ReceiptLayout& ReceiptLayout::operator=(ReceiptLayout&&) noexcept = default;

std::vector<Picture> ReceiptLayout::render(std::string_view document, const PageEvents& events)
{
    return maker_->render(document, events);
}

std::vector<Picture> render_receipt(std::string_view document, const ReceiptStyle& style, const PageEvents& events)
{
    return ReceiptLayout(style, events).render(document, events);
}

}  // namespace lumarin
