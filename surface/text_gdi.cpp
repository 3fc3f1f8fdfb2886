// The Windows text drawer: GDI draws each run into a 32-bit top-down DIB
// section holding a copy of the image area the run can touch, which then
// goes back into the image. Fonts are sized for 96 dpi. Glyphs are drawn
// without antialiasing (NONANTIALIASED_QUALITY): every pixel is either the
// text colour or untouched, so the 1-bit copy Monotize makes shows the
// glyphs exactly, not a threshold of blended edges.
#include <windows.h>
#include <usp10.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "common/arith.hpp"
#include "common/text.hpp"
#include "common/fail.hpp"
#include "lumarin/error.hpp"
#include "surface/text_drawer.hpp"
#include "surface/tiles.hpp"
#include "surface/win_handles.hpp"

namespace lumarin {

namespace {

constexpr int kDpi = 96;
// Largest side of one DIB section; a larger area is drawn in tiles so that
// no single allocation grows with the text.
constexpr long long kTile = 2048;

using win::GdiObject;

win::DeviceContext memory_dc()
{
    win::DeviceContext dc(CreateCompatibleDC(nullptr));
    if (!dc)
        fail(ErrorKind::OutOfMemory, "cannot create a memory device context");
    return dc;
}

// Selects an object into a DC and puts the previous one back on scope exit,
// so that the object is never deleted while selected.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) noexcept : dc_(dc), previous_(SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection()
    {
        if (previous_ && previous_ != HGDI_ERROR)
            SelectObject(dc_, previous_);
    }
    bool ok() const noexcept { return previous_ && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

LOGFONTW logfont_for(const FontSpec& font)
{
    LOGFONTW lf{};
    // A negative height is the character height: the em.
    lf.lfHeight = -static_cast<LONG>(em_pixels(font));
    lf.lfWeight = font.style.bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.style.italic ? TRUE : FALSE;
    lf.lfUnderline = font.style.underline ? TRUE : FALSE;
    lf.lfStrikeOut = font.style.strikethru ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = font.antialias ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::size_t n = std::min<std::size_t>(font.name.size(), LF_FACESIZE - 1);
    std::memcpy(lf.lfFaceName, font.name.data(), n * sizeof(wchar_t));
    lf.lfFaceName[n] = 0;
    return lf;
}

// The font for a run, created and selected into the DC for a scope; the
// previous font is put back before this one is deleted.
class FontInDc {
public:
    FontInDc(HDC dc, const FontSpec& font) : font_(create(font)), selected_(dc, font_.get())
    {
        if (!selected_.ok())
            fail(ErrorKind::OutOfMemory, "cannot select the font");
    }
    HFONT get() const noexcept { return font_.get(); }

private:
    static GdiObject<HFONT> create(const FontSpec& font)
    {
        const LOGFONTW lf = logfont_for(font);
        GdiObject<HFONT> hfont(CreateFontIndirectW(&lf));
        if (!hfont)
            fail(ErrorKind::OutOfMemory, "cannot create the font");
        return hfont;
    }

    GdiObject<HFONT> font_;
    Selection selected_;
};

// The selected font's metrics and the run's advance box.
struct RunSize {
    TEXTMETRICW tm{};
    SIZE extent{};
};

RunSize measure_run(HDC dc, const wchar_t* text, int length)
{
    RunSize size;
    GetTextMetricsW(dc, &size.tm);
    if (length > 0 && !GetTextExtentPoint32W(dc, text, length, &size.extent))
        fail(ErrorKind::OutOfMemory, "cannot measure the text");
    return size;
}

// The area a run drawn at (0, 0) can touch: its advance box, widened by
// the overhang and, for italics, the lean of the last glyph and the first
// glyph's left bearing.
PixelArea run_area(const RunSize& size, const FontSpec& font)
{
    const TEXTMETRICW& tm = size.tm;
    const long long slack_x = tm.tmOverhang + tm.tmMaxCharWidth / 2 + (font.style.italic ? tm.tmHeight / 2 : 0) + 2;
    const long long slack_y = tm.tmHeight / 8 + 2;
    return {-slack_x, -slack_y, size.extent.cx + slack_x, std::max<long long>(size.extent.cy, tm.tmHeight) + slack_y};
}

int run_length(std::u16string_view text) { return static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX / 2)); }

class GdiDrawer final : public TextDrawer {
public:
    void draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
              Colour colour) override;
    LineExtents measure(std::u16string_view text, const FontSpec& font) override;
    Text face_of(const FontSpec& font) override;
    std::vector<std::uint8_t> breaks(std::u16string_view text) override;

private:
    void draw_tile(Image& image, const wchar_t* text, int length, UINT options, HFONT font, long long x, long long y,
                   long long x0, long long y0, long long w, long long h, Colour colour) const;

    win::DeviceContext dc_ = memory_dc();
};

void GdiDrawer::draw(Image& image, long long x, long long y, std::u16string_view text, const FontSpec& font,
                     Colour colour)
{
    if (text.empty() || image.width() == 0 || image.height() == 0)
        return;
    const FontInDc hfont(dc_.get(), font);
    const int length = run_length(text);
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const PixelArea reach = run_area(measure_run(dc_.get(), wide, length), font);
    const PixelArea area{x + reach.left, y + reach.top, x + reach.right, y + reach.bottom};
    // The line's direction by the rule the measure reports, not GDI's own.
    const UINT options = starts_right_to_left(text) ? ETO_RTLREADING : 0;
    for_each_tile(image, area, kTile, [&](const PixelArea& tile) {
        draw_tile(image, wide, length, options, hfont.get(), x, y, tile.left, tile.top, tile.width(), tile.height(),
                  colour);
    });
}

LineExtents GdiDrawer::measure(std::u16string_view text, const FontSpec& font)
{
    const FontInDc selected(dc_.get(), font);
    const RunSize size = measure_run(dc_.get(), reinterpret_cast<const wchar_t*>(text.data()), run_length(text));
    return {0, size.extent.cx, static_cast<int>(size.tm.tmHeight), starts_right_to_left(text), run_area(size, font)};
}

Text GdiDrawer::face_of(const FontSpec& font)
{
    const FontInDc selected(dc_.get(), font);
    wchar_t face[LF_FACESIZE] = {};
    if (GetTextFaceW(dc_.get(), LF_FACESIZE, face) <= 0)
        return {};
    return Text(reinterpret_cast<const char16_t*>(face), wcsnlen(face, LF_FACESIZE));
}

// The text's runs of one script and direction, followed by the end
// marker ScriptItemize adds. The buffer starts at a sixteenth of the text
// and grows fourfold: at most three passes over the text.
std::vector<SCRIPT_ITEM> script_items(const wchar_t* text, int length)
{
    std::vector<SCRIPT_ITEM> items(static_cast<std::size_t>(length / 16) + 16);
    for (;;) {
        int count = 0;
        const HRESULT hr = ScriptItemize(text, length, static_cast<int>(items.size()) - 1, nullptr, nullptr,
                                         items.data(), &count);
        if (hr == E_OUTOFMEMORY && items.size() <= static_cast<std::size_t>(length) + 1) {
            items.resize(std::min<std::size_t>(items.size() * 4, static_cast<std::size_t>(length) + 2));
            continue;
        }
        if (FAILED(hr))
            fail(ErrorKind::OutOfMemory, "cannot divide the text into runs of one script");
        items.resize(static_cast<std::size_t>(count) + 1);
        return items;
    }
}

std::uint8_t flags_of(const SCRIPT_LOGATTR& attr)
{
    return static_cast<std::uint8_t>((attr.fCharStop ? kClusterStart : 0) | (attr.fSoftBreak ? kLineBreak : 0) |
                                     (attr.fWhiteSpace ? kWhite : 0));
}

std::vector<std::uint8_t> GdiDrawer::breaks(std::u16string_view text)
{
    std::vector<std::uint8_t> flags(text.size(), 0);
    if (text.empty())
        return flags;
    if (text.size() > INT_MAX / 2)
        fail(ErrorKind::OutOfMemory, "text too long to break");
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const std::vector<SCRIPT_ITEM> items = script_items(wide, static_cast<int>(text.size()));
    std::vector<SCRIPT_LOGATTR> attrs(text.size());
    // Each run by its own script's rules, as Uniscribe expects.
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
        const int begin = items[i].iCharPos;
        const int length = items[i + 1].iCharPos - begin;
        if (length > 0 && FAILED(ScriptBreak(wide + begin, length, &items[i].a, attrs.data() + begin)))
            fail(ErrorKind::OutOfMemory, "cannot find where the text may break");
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        flags[i] = flags_of(attrs[i]);
        if (is_surrogate_pair_at(text, i))
            flags[++i] = 0;
    }
    return flags;
}

void GdiDrawer::draw_tile(Image& image, const wchar_t* text, int length, UINT options, HFONT font, long long x,
                          long long y,
                          long long x0, long long y0, long long w, long long h, Colour colour) const
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = static_cast<LONG>(w);
    info.bmiHeader.biHeight = -static_cast<LONG>(h);  // top-down, like the image
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const GdiObject<HBITMAP> bitmap(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        fail(ErrorKind::OutOfMemory, "cannot create a drawing bitmap");
    auto* tile = static_cast<Pixel*>(bits);
    for (long long r = 0; r < h; ++r)
        image.read_pixels(static_cast<int>(x0), static_cast<int>(y0 + r), static_cast<int>(w), tile + r * w);

    {
        const Selection bitmap_selected(dc_.get(), bitmap.get());
        const Selection font_selected(dc_.get(), font);
        if (!bitmap_selected.ok() || !font_selected.ok())
            fail(ErrorKind::OutOfMemory, "cannot select the drawing bitmap");
        SetBkMode(dc_.get(), TRANSPARENT);
        SetTextColor(dc_.get(), static_cast<COLORREF>(colour & 0xFFFFFF));
        SetTextAlign(dc_.get(), TA_LEFT | TA_TOP | TA_NOUPDATECP);
        // The tile is within the run's extent, so these offsets fit an int.
        ExtTextOutW(dc_.get(), static_cast<int>(x - x0), static_cast<int>(y - y0), options, nullptr, text,
                    static_cast<UINT>(length), nullptr);
        GdiFlush();
    }

    // GDI may write the unused byte; the image has none.
    for (long long r = 0; r < h; ++r)
        image.write_pixels(static_cast<int>(x0), static_cast<int>(y0 + r), static_cast<int>(w), tile + r * w);
}

}  // namespace

std::unique_ptr<TextDrawer> make_text_drawer()
{
    return std::make_unique<GdiDrawer>();
}

namespace {

int CALLBACK note_family(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

}  // namespace

bool font_name_is_known(std::u16string_view name)
{
    if (name.empty() || name.size() >= LF_FACESIZE)
        return false;
    LOGFONTW lf{};
    lf.lfCharSet = DEFAULT_CHARSET;
    std::memcpy(lf.lfFaceName, name.data(), name.size() * sizeof(wchar_t));
    const win::DeviceContext dc = memory_dc();
    bool found = false;
    EnumFontFamiliesExW(dc.get(), &lf, note_family, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

Text add_font_file(const std::string& path)
{
    fail(ErrorKind::InvalidPropertyValue,
         "cannot load the font file " + path + " on Windows: install the font and give its family name");
}

}  // namespace lumarin
