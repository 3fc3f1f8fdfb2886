#include "document/grammar.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

#include "common/fail.hpp"
#include "common/text.hpp"

namespace lumarin {

namespace {

constexpr bool is_space(char16_t c) noexcept { return c == u' ' || c == u'\t'; }
constexpr bool is_control(char16_t c) noexcept { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// "\xNN" at `i` (the backslash): the character, if both digits are there.
std::optional<char16_t> hex_escape(std::u16string_view s, std::size_t i)
{
    if (i + 3 >= s.size())
        return std::nullopt;
    const int hi = hex_digit_value(s[i + 2]);
    const int lo = hex_digit_value(s[i + 3]);
    if (hi < 0 || lo < 0)
        return std::nullopt;
    return static_cast<char16_t>(hi * 16 + lo);
}

std::string lower_ascii(std::u16string_view s)
{
    std::string out;
    for (char16_t c : s)
        out += c >= u'A' && c <= u'Z' ? static_cast<char>(c - u'A' + 'a') : c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::u16string_view trim(std::u16string_view s)
{
    while (!s.empty() && is_space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_space(s.back()) && !(s.size() >= 2 && s[s.size() - 2] == u'\\'))
        s.remove_suffix(1);
    return s;
}

// The positions of the `mark`s that no backslash escapes.
std::vector<std::size_t> unescaped(std::u16string_view s, char16_t mark)
{
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == u'\\')
            ++i;
        else if (s[i] == mark)
            at.push_back(i);
    }
    return at;
}

// A part of a line, and where it starts (from 0), for messages.
struct Piece {
    std::u16string_view text;
    std::size_t start = 0;
    bool pipe_left = false;
    bool pipe_right = false;
};

std::vector<Piece> split_columns(std::u16string_view line)
{
    std::vector<Piece> pieces;
    std::size_t begin = 0;
    for (std::size_t pipe : unescaped(line, u'|')) {
        pieces.push_back({line.substr(begin, pipe - begin), begin, begin > 0, true});
        begin = pipe + 1;
    }
    pieces.push_back({line.substr(begin), begin, begin > 0, false});
    // A pipe at the line's start or end closes a column; it opens none.
    if (pieces.size() > 1 && line.starts_with(u'|'))
        pieces.erase(pieces.begin());
    if (pieces.size() > 1 && pieces.back().text.empty() && pieces.back().pipe_left)
        pieces.pop_back();
    return pieces;
}

// The side a column is drawn toward: the pipe it touches, away from the
// white space it leaves.
Side side_of(const Piece& piece)
{
    const bool space_left = !piece.text.empty() && is_space(piece.text.front());
    const bool space_right = !piece.text.empty() && is_space(piece.text.back());
    const int left = (piece.pipe_left && !space_left ? 1 : 0) + (space_right ? 1 : 0);
    const int right = (piece.pipe_right && !space_right ? 1 : 0) + (space_left ? 1 : 0);
    return left > right ? Side::Left : right > left ? Side::Right : Side::Center;
}

bool all_of_char(std::u16string_view s, char16_t c)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [c](char16_t x) { return x == c; });
}

// The size a run of `count` carets asks for.
std::pair<int, int> caret_size(std::size_t count)
{
    if (count == 1)
        return {2, 1};
    if (count == 2)
        return {1, 2};
    const int n = static_cast<int>(std::min<std::size_t>(count - 1, 6));
    return {n, n};
}

class ColumnReader {
public:
    ColumnText read(std::u16string_view text)
    {
        out_.paragraphs.assign(1, {});
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            switch (c) {
            case u'\\': i = escape(text, i); break;
            case u'~': add(u' '); break;
            case u'_': deco_.underline = !deco_.underline; break;
            case u'"': deco_.emphasis = !deco_.emphasis; break;
            case u'`': deco_.invert = !deco_.invert; break;
            case u'^': i = carets(text, i); break;
            default:
                if (!is_control(c))
                    add(c);
            }
        }
        return std::move(out_);
    }

private:
    std::size_t escape(std::u16string_view text, std::size_t i)
    {
        if (i + 1 >= text.size())
            return i;
        const char16_t c = text[i + 1];
        if (c == u'n') {
            out_.paragraphs.emplace_back();
        } else if (c == u'x') {
            if (const auto code = hex_escape(text, i)) {
                if (!is_control(*code))
                    add(*code);
                return i + 3;
            }
        } else if (std::u16string_view(u"\\|{}-=~_\"`^").find(c) != std::u16string_view::npos) {
            add(c);
        }
        // Any other escaped character is left out, a pair whole.
        return is_surrogate_pair_at(text, i + 1) ? i + 2 : i + 1;
    }

    std::size_t carets(std::u16string_view text, std::size_t i)
    {
        std::size_t n = 0;
        while (i + n < text.size() && text[i + n] == u'^')
            ++n;
        const auto [wide, high] = caret_size(n);
        if (deco_.wide == wide && deco_.high == high)
            deco_.wide = deco_.high = 1;
        else {
            deco_.wide = wide;
            deco_.high = high;
        }
        return i + n - 1;
    }

    void add(char16_t c)
    {
        std::vector<Run>& runs = out_.paragraphs.back();
        if (runs.empty() || !(runs.back().decoration == deco_))
            runs.push_back({{}, deco_});
        runs.back().text += c;
    }

    ColumnText out_;
    Decoration deco_;
};

// A property value with its escapes resolved.
Text property_value(std::u16string_view raw)
{
    Text out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\') {
            out += raw[i];
            continue;
        }
        if (i + 1 >= raw.size())
            break;
        const char16_t c = raw[i + 1];
        if (c == u'n') {
            out += u'\n';
        } else if (c == u'x') {
            if (const auto code = hex_escape(raw, i)) {
                out += *code;
                i += 3;
                continue;
            }
        } else if (std::u16string_view(u"\\|{};").find(c) != std::u16string_view::npos) {
            out += c;
        }
        i += is_surrogate_pair_at(raw, i + 1) ? 2 : 1;
    }
    return out;
}

// Words separated by commas or white space.
std::vector<std::u16string_view> words(std::u16string_view s)
{
    std::vector<std::u16string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (is_space(s[i]) || s[i] == u','))
            ++i;
        const std::size_t begin = i;
        while (i < s.size() && !is_space(s[i]) && s[i] != u',')
            ++i;
        if (i > begin)
            out.push_back(s.substr(begin, i - begin));
    }
    return out;
}

std::optional<int> whole_number(std::string_view s, int high)
{
    int n = 0;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (s.empty() || ptr != s.data() + s.size() || ec != std::errc() || n < 0 || n > high)
        return std::nullopt;
    return n;
}

class DocumentReader {
public:
    DocumentReader(const std::function<void(const std::string&)>& warn) : warn_(warn) {}

    void read_line(std::u16string_view line, std::size_t number)
    {
        number_ = number;
        std::vector<Piece> pieces = split_columns(line);
        if (pieces.size() == 1) {
            const std::u16string_view t = trim(pieces[0].text);
            if (all_of_char(t, u'-'))
                return emit(RuleLine{});
            if (all_of_char(t, u'='))
                return emit(CutLine{});
            if (t.starts_with(u'{'))
                return read_properties(t, pieces[0].start + static_cast<std::size_t>(t.data() - pieces[0].text.data()));
        }
        TextLine text;
        for (const Piece& piece : pieces) {
            const std::u16string_view t = trim(piece.text);
            if (pieces.size() > 1 && t.starts_with(u'{') && t.ends_with(u'}')) {
                warn(piece.start, "properties need a line of their own; left out");
                continue;
            }
            ColumnText column = ColumnReader().read(t);
            column.side = side_of(piece);
            text.columns.push_back(std::move(column));
        }
        emit(std::move(text));
    }

    Document take() { return std::move(doc_); }

private:
    template <typename What>
    void emit(What what)
    {
        doc_.items.push_back({std::move(what), settings_, number_});
    }

    void warn(std::size_t column, const std::string& what) const
    {
        if (warn_)
            warn_("line " + std::to_string(number_) + ", column " + std::to_string(column + 1) + ": " + what);
    }

    // `text` from its '{'; `start` is where that is in the line.
    void read_properties(std::u16string_view text, std::size_t start)
    {
        std::u16string_view body = text.substr(1);
        if (body.ends_with(u'}') && !(body.size() >= 2 && body[body.size() - 2] == u'\\'))
            body.remove_suffix(1);
        else
            warn(start + text.size(), "a property needs a closing '}'");
        std::vector<std::pair<std::size_t, Text>> images;
        std::vector<std::pair<std::size_t, Text>> codes;
        std::size_t begin = 0;
        std::vector<std::size_t> ends = unescaped(body, u';');
        ends.push_back(body.size());
        for (std::size_t end : ends) {
            const std::u16string_view member = body.substr(begin, end - begin);
            const std::size_t at = start + 1 + begin + (member.size() - trim(member).size() > 0
                                                             ? member.find_first_not_of(u" \t")
                                                             : 0);
            begin = end + 1;
            if (trim(member).empty())
                continue;
            const std::vector<std::size_t> colons = unescaped(member, u':');
            if (colons.empty()) {
                warn(at, "expected 'key: value', not '" + to_utf8(trim(member)) + "'");
                continue;
            }
            const std::string key = lower_ascii(trim(member.substr(0, colons[0])));
            const Text value = property_value(trim(member.substr(colons[0] + 1)));
            if (key == "image" || key == "i")
                images.emplace_back(at, value);
            else if (key == "code" || key == "c")
                codes.emplace_back(at, value);
            else if (key == "option" || key == "o")
                settings_.code = code_options(value, at);
            else if (key == "align" || key == "a")
                settings_.align = align(value, at);
            else if (key == "width" || key == "w")
                settings_.widths = widths(value, at);
            else if (key == "border" || key == "b")
                settings_.border = border(value, at);
            else if (key == "text" || key == "t")
                settings_.wrap = wrap(value, at);
            else if (key == "command" || key == "x")
                warn(at, "device commands are not drawn; left out");
            else if (key != "comment" && key != "_")
                warn(at, "unknown property '" + to_utf8(trim(member.substr(0, colons[0]))) + "'; left out");
        }
        // Settings first: a code takes the options its own line gives.
        for (auto& [at, value] : images) {
            std::string base64;
            for (char16_t c : value)
                if (!is_space(c) && c != u'\n' && c != u'\r')
                    base64 += c < 0x80 ? static_cast<char>(c) : '?';
            if (base64.empty())
                warn(at, "an image with no data; left out");
            else
                emit(ImageLine{std::move(base64)});
        }
        for (auto& [at, value] : codes) {
            if (value.empty())
                warn(at, "a code with no data; left out");
            else
                emit(CodeLine{to_utf8(value)});
        }
    }

    Side align(const Text& value, std::size_t at) const
    {
        const std::string v = lower_ascii(value);
        if (v == "left")
            return Side::Left;
        if (v == "right")
            return Side::Right;
        if (v != "center")
            warn(at, "align is left, center or right, not '" + to_utf8(value) + "'; center used");
        return Side::Center;
    }

    std::vector<int> widths(const Text& value, std::size_t at) const
    {
        if (lower_ascii(value) == "auto")
            return {};
        std::vector<int> out;
        for (std::u16string_view word : words(value)) {
            if (word == u"*") {
                out.push_back(kFill);
                continue;
            }
            const auto n = whole_number(lower_ascii(word), 10000);
            if (!n) {
                warn(at, "width is auto, or cells and '*' for each column, not '" + to_utf8(value) +
                             "'; auto used");
                return {};
            }
            out.push_back(*n);
        }
        if (out.empty())
            warn(at, "width has no value; auto used");
        return out;
    }

    Border border(const Text& value, std::size_t at) const
    {
        const std::string v = lower_ascii(value);
        if (v == "line")
            return {true, 1};
        if (v == "space")
            return {false, 1};
        if (v == "none")
            return {false, 0};
        if (const auto n = whole_number(v, 2))
            return {false, *n};
        warn(at, "border is line, space, none or 0 to 2, not '" + to_utf8(value) + "'; space used");
        return {};
    }

    bool wrap(const Text& value, std::size_t at) const
    {
        const std::string v = lower_ascii(value);
        if (v != "wrap" && v != "nowrap")
            warn(at, "text is wrap or nowrap, not '" + to_utf8(value) + "'; wrap used");
        return v != "nowrap";
    }

    CodeOptions code_options(const Text& value, std::size_t at) const
    {
        static constexpr std::pair<std::string_view, Symbology> kNames[] = {
            {"upc", Symbology::Upc},       {"ean", Symbology::Ean},       {"jan", Symbology::Ean},
            {"code39", Symbology::Code39}, {"itf", Symbology::Itf},       {"codabar", Symbology::Codabar},
            {"nw7", Symbology::Codabar},   {"code93", Symbology::Code93}, {"code128", Symbology::Code128},
            {"qrcode", Symbology::QrCode}};
        CodeOptions options;
        const std::vector<std::u16string_view> list = words(value);
        std::vector<std::string> rest;
        for (std::u16string_view word : list) {
            const std::string w = lower_ascii(word);
            const auto named = std::find_if(std::begin(kNames), std::end(kNames),
                                            [&](const auto& known) { return known.first == w; });
            if (named != std::end(kNames))
                options.symbology = named->second;
            else
                rest.push_back(w);
        }
        const bool qr = options.symbology == Symbology::QrCode;
        for (const std::string& w : rest) {
            if (w == "hri" || w == "nohri") {
                options.hri = w == "hri";
            } else if (w == "l" || w == "m" || w == "q" || w == "h") {
                options.level = static_cast<char>(w[0] - 'a' + 'A');
            } else if (const auto n = whole_number(w, 100000)) {
                if (*n >= 24 && *n <= 240)
                    options.height = *n;
                else if (qr && *n >= 3 && *n <= 8)
                    options.cell = *n;
                else if (!qr && *n >= 2 && *n <= 4)
                    options.module = *n;
                else
                    warn(at, "option " + w + " is none of " + (qr ? "a cell size (3 to 8)" : "a module width (2 to 4)") +
                                 " or a bar height (24 to 240); left out");
            } else {
                warn(at, "unknown option '" + w + "'; left out");
            }
        }
        return options;
    }

    const std::function<void(const std::string&)>& warn_;
    Settings settings_;
    Document doc_;
    std::size_t number_ = 0;
};

}  // namespace

Document parse_document(std::string_view utf8, const std::function<void(const std::string&)>& warn,
                        const std::function<void()>& check_stop)
{
    if (utf8.starts_with("\xEF\xBB\xBF"))
        utf8.remove_prefix(3);
    DocumentReader reader(warn);
    std::size_t number = 0;
    while (!utf8.empty() || number == 0) {
        const std::size_t end = utf8.find('\n');
        std::string_view raw = utf8.substr(0, end);
        utf8 = end == std::string_view::npos ? std::string_view() : utf8.substr(end + 1);
        ++number;
        if (raw.ends_with('\r'))
            raw.remove_suffix(1);
        Text line;
        if (!from_utf8(raw, line))
            fail(ErrorKind::TypeMismatch, "line " + std::to_string(number) + " is not UTF-8");
        if (check_stop)
            check_stop();
        reader.read_line(line, number);
        if (end == std::string_view::npos)
            break;
    }
    return reader.take();
}

}  // namespace lumarin
