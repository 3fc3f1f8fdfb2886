// Fuzz target: one fresh synapse per input, driven by a sequence of property
// writes and method calls decoded from the bytes. Whatever the sequence, the
// object must fail only with a lumarin::Error of a known number, keep the
// surface inside its caps, never leave a temporary file behind, and leave
// the previous file as it was when a save fails. Anything else aborts so
// that libFuzzer records the input.
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "lumarin/error.hpp"
#include "common/text.hpp"
#include "lumarin/synapse.hpp"
#include "renderer/canvas_access.hpp"
#include "surface/bmp.hpp"
#include "surface/canvas.hpp"
#include "surface/image.hpp"

namespace fs = std::filesystem;
using namespace lumarin;

namespace {

[[noreturn]] void violated(const char* what, const std::string& detail = {})
{
    std::fprintf(stderr, "fuzz invariant violated: %s %s\n", what, detail.c_str());
    std::abort();
}

// Every write the target makes goes below this folder; it is emptied before
// each input and removed at exit.
class Sandbox {
public:
    Sandbox()
    {
        std::string pattern = (fs::temp_directory_path() / "lumarin-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            violated("cannot create the sandbox folder");
        root_ = pattern;
    }
    ~Sandbox()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const fs::path& root() const noexcept { return root_; }

    // Back to the fixed layout each input starts from.
    void reset()
    {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(root_, ec))
            fs::remove_all(entry.path(), ec);
        fs::create_directory(root_ / "folder", ec);
        std::ofstream(root_ / "plain.bmp") << "not a bitmap";
        fs::create_symlink("plain.bmp", root_ / "link.bmp", ec);
        fs::create_symlink("loop.bmp", root_ / "loop.bmp", ec);
        fs::create_symlink("absent.bmp", root_ / "dangling.bmp", ec);
    }

    // No ".<name>.<n>.tmp" may survive a call, failed or not.
    void expect_no_temporaries() const
    {
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 5 && name[0] == '.' && name.ends_with(".tmp"))
                violated("temporary file left behind:", entry.path().string());
        }
    }

private:
    fs::path root_;
};

// Reads the input front to back; past the end every value is zero.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const noexcept { return pos_ >= size_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
    std::uint64_t u64() { return u32() | static_cast<std::uint64_t>(u32()) << 32; }

    template <typename T, std::size_t N>
    const T& pick(const std::array<T, N>& table)
    {
        return table[byte() % N];
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

constexpr std::array<Integer, 18> kIntegers{0,     1,     -1,     2,   -2,  7,   10,  16,   80,
                                            100,   255,   256,    999, 1000, 32767, -32768, 32766, -32767};
constexpr std::array<std::int16_t, 6> kBooleans{0, -1, 1, 2, 32767, -32768};
constexpr std::array<Long, 14> kLongs{0,          1,         -1,         10,         -10,        1000,    -1000,
                                      65535,      65536,     -65536,     1000000000, -1000000000, INT32_MAX, INT32_MIN};

Integer integer(Input& in)
{
    const std::uint8_t how = in.byte();
    return how < 200 ? kIntegers[how % kIntegers.size()] : static_cast<Integer>(in.u16());
}

Boolean boolean(Input& in)
{
    const std::uint8_t how = in.byte();
    return Boolean::from_bits(how < 200 ? kBooleans[how % kBooleans.size()] : static_cast<std::int16_t>(in.u16()));
}

Long long_value(Input& in)
{
    const std::uint8_t how = in.byte();
    return how < 200 ? kLongs[how % kLongs.size()] : static_cast<Long>(in.u32());
}

// Texts that have tripped text code before: lone and reversed surrogates,
// controls, NUL, marks, right-to-left, emoji, noncharacters.
const std::array<Text, 16> kTexts{
    Text{},
    Text{u"Hello, world"},
    Text{u"\xD800"},
    Text{u"a\xDC00" u"b"},
    Text{u"\xDC00\xD800"},
    Text(u"\0\0x", 3),
    Text{u"\t\r\n\x1B\x7F\x85\x9F"},
    Text{u"e\x0301\x0301\x0301\x0301\x0301"},
    Text{u"\x05D0\x05D1\x0627\x0644 mixed"},
    Text{u"\xD83D\xDE00\xD83D\xDC4D\xFE0F"},
    Text{u"\xFFFE\xFFFF\xFDD0"},
    Text{u"\x200B\x200D\x2028\x2029"},
    Text{u"\xFEFF" u"BOM"},
    Text{u"\x0E01\x0E34\x0E4D\x0E49"},
    Text{u" "},
    Text{u"WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW"},
};

constexpr std::array<std::size_t, 8> kHugeLengths{1000, 4096, 32767, 32768, 65535, 65536, 250000, 1000000};

Text text(Input& in, int depth = 0)
{
    switch (in.byte() % 5) {
    case 0: return in.pick(kTexts);
    case 1: {
        // Raw code units straight from the input.
        Text t(in.byte() % 64, u'\0');
        for (char16_t& c : t)
            c = static_cast<char16_t>(in.u16());
        return t;
    }
    case 2: {
        // A short pattern repeated up to a million code units.
        Text pattern = depth < 2 ? text(in, depth + 1) : in.pick(kTexts);
        if (pattern.empty())
            pattern = u"x";
        const std::size_t length = in.byte() < 128 ? in.pick(kHugeLengths) : in.u32() % 1000001;
        Text t;
        t.reserve(length);
        while (t.size() < length)
            t.append(pattern, 0, std::min(pattern.size(), length - t.size()));
        return t;
    }
    case 3:
        if (depth < 2)
            return text(in, depth + 1) + text(in, depth + 1);
        return in.pick(kTexts);
    default: {
        // ASCII, so that names and numbers come out readable.
        Text t(in.byte() % 24, u' ');
        for (char16_t& c : t)
            c = static_cast<char16_t>(0x20 + in.byte() % 0x5F);
        return t;
    }
    }
}

const std::array<Text, 8> kFontNames{Text{},         Text{u"Courier New"}, Text{u"Liberation Sans"}, Text{u"Liberation Serif"},
                                     Text{u"Nothing Such"}, Text{u"monospace"}, Text{u"Sans Bold Italic 72"},
                                     Text{u"\xD800"}};
const std::array<Text, 10> kColourNames{Text{},       Text{u"red"},   Text{u"BLUE"},  Text{u"green"},
                                        Text{u"WHITE"}, Text{u"black"}, Text{u"wh\x0131te"}, Text{u"cyan "},
                                        Text{u"Magenta"}, Text{u"yellow"}};

const std::array<double, 22> kDoubles{0.0,
                                      -0.0,
                                      0.5,
                                      1.5,
                                      2.5,
                                      -2.5,
                                      7,
                                      32767,
                                      32767.5,
                                      32768,
                                      -32768,
                                      -32768.5,
                                      16383.5,
                                      1e9,
                                      1e308,
                                      -1e308,
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(),
                                      3.4028235677973366e38};

const std::array<Text, 22> kNumberTexts{
    Text{u"7"},     Text{u" 7 "},    Text{u"-2.5"},   Text{u"1e1"},         Text{u"&H10"},   Text{u"&HFFFF"},
    Text{u"&H7FFF"}, Text{u"&H100000000"}, Text{u"&O777"}, Text{u"&O"},     Text{u"1e309"},  Text{u"1e-400"},
    Text{u"abc"},   Text{},          Text{u" "},      Text{u"1d2"},         Text{u"+"},      Text{u"\xFF11"},
    Text{u"32768"}, Text{u"-32768"}, Text{u"16383.5"}, Text{u"99999999999999999999"}};

Variant variant(Input& in)
{
    switch (in.byte() % 6) {
    case 0: return Empty{};
    case 1: return Null{};
    case 2: return in.pick(kDoubles);
    case 3: {
        const std::uint64_t bits = in.u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case 4: return in.pick(kNumberTexts);
    default: return text(in);
    }
}

// File names: inside the sandbox, or ones that cannot name a file at all.
Text file_name(Input& in, const fs::path& root)
{
    const Text base = root.u16string() + u"/";
    switch (in.byte() % 14) {
    case 0: return Text{};
    case 1: return base + u"out.bmp";
    case 2: return base + u"second.bmp";
    case 3: return base + u"folder";
    case 4: return base + u"folder/";
    case 5: return base + u"folder/inner.bmp";
    case 6: return base + u"missing/x.bmp";
    case 7: return base + u"plain.bmp/x.bmp";
    case 8: return base + in.pick(std::array<Text, 3>{Text{u"link.bmp"}, Text{u"loop.bmp"}, Text{u"dangling.bmp"}});
    case 9: return base + Text(in.byte() < 128 ? 300 : 240 + in.byte() % 20, u'n');  // component too long, or nearly
    case 10: return base + Text(4200, u'd');  // whole path too long
    case 11: return base + u"bad\xD800.bmp";
    case 12: return base + Text(u"nul\0.bmp", 8);
    default: {
        // Any code units but the separator; the "f" keeps "." and ".." out.
        Text name = u"f";
        for (int n = in.byte() % 16; n > 0; --n) {
            char16_t c = static_cast<char16_t>(in.byte() < 200 ? 0x20 + in.byte() % 0x5F : in.u16());
            name += c == u'/' ? u'_' : c;
        }
        return base + name;
    }
    }
}

bool documented(int number)
{
    switch (number) {
    case 6: case 7: case 9: case 11: case 13: case 52: case 53: case 61: case 70: case 75: case 76: case 94:
    case 380: case 481: return true;
    default: return false;
    }
}

std::optional<std::string> contents(const fs::path& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Saves of big surfaces and prints of huge texts are what make an input
// slow; a few per input find the same faults as many.
constexpr std::int64_t kBigSurface = 1 << 20;
constexpr std::size_t kBigText = 20000;
constexpr int kExpensivePerInput = 2;
constexpr int kMaxSteps = 48;

class Driver {
public:
    // LUMARIN_FUZZ_TRACE=1 lists each call and its outcome, for replaying a
    // single input by hand.
    explicit Driver(const Sandbox& sandbox) : sandbox_(sandbox), trace_(std::getenv("LUMARIN_FUZZ_TRACE") != nullptr) {}

    void run(Input& in)
    {
        synapse s;
        s.Saving.sync = false;  // scratch files: the fuzzer is not after durability
        for (int step = 0; step < kMaxSteps && !in.empty(); ++step) {
            const auto started = std::chrono::steady_clock::now();
            const auto ms = [&] {
                return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
            };
            try {
                one_call(s, in);
                if (trace_)
                    std::fprintf(stderr, "%-20s ok   %8.1f ms  surface %dx%d\n", call_, ms(),
                                 canvas_of(s).Image().width(), canvas_of(s).Image().height());
            } catch (const Error& e) {
                if (trace_)
                    std::fprintf(stderr, "%-20s %-4d %8.1f ms  %.160s\n", call_, e.number(), ms(), e.what());
                if (!documented(e.number()))
                    violated("undocumented error number", std::to_string(e.number()) + " " + e.what());
                if (saving_)
                    expect_unchanged(s);
            } catch (const std::exception& e) {
                violated("exception that is no lumarin::Error:", e.what());
            } catch (...) {
                violated("unknown exception");
            }
            saving_ = false;
            check_surface(s);
            sandbox_.expect_no_temporaries();
        }
    }

private:
    void one_call(synapse& s, Input& in)
    {
        static constexpr std::array<const char*, 17> kCalls{
            "LineSpacing", "FontSize", "FontWeight", "FinalBold", "FontUnderline", "FontItalic",
            "FontStrikethru", "FileName", "FontName", "ForeColor", "BackColor", "MaximumStringLength",
            "TopPadding", "SidePadding", "PrintText", "PrintText", "Monotize"};
        const std::uint8_t call = in.byte() % 17;
        call_ = kCalls[call];
        switch (call) {
        case 0: s.LineSpacing = integer(in); break;
        case 1: s.FontSize = integer(in); break;
        case 2: s.FontWeight = integer(in); break;
        case 3: s.FinalBold = boolean(in); break;
        case 4: s.FontUnderline = boolean(in); break;
        case 5: s.FontItalic = boolean(in); break;
        case 6: s.FontStrikethru = boolean(in); break;
        case 7: s.FileName = file_name(in, sandbox_.root()); break;
        case 8: s.FontName = in.byte() < 200 ? in.pick(kFontNames) : text(in); break;
        case 9: s.ForeColor = in.byte() < 200 ? in.pick(kColourNames) : text(in); break;
        case 10: s.BackColor = in.byte() < 200 ? in.pick(kColourNames) : text(in); break;
        case 11: s.MaximumStringLength(text(in)); break;
        case 12: s.TopPadding(variant(in)); break;
        case 13: s.SidePadding(integer(in)); break;
        case 14:
        case 15: {
            const Text t = text(in);
            if (trace_)
                std::fprintf(stderr, "  line of %zu code units, starting %.40s\n", t.size(), to_utf8(t).c_str());
            const Long x = long_value(in);
            const Long y = long_value(in);
            if (!afford(s, t.size()))
                break;
            prepare_save(s);
            s.PrintText(t, x, y);
            saving_ = false;
            expect_saved(s, false);
            break;
        }
        default: {
            const Text location = text(in);
            if (!afford(s, 0))
                break;
            prepare_save(s);
            s.Monotize(location);
            saving_ = false;
            expect_saved(s, true);
            break;
        }
        }
    }

    bool afford(const synapse& s, std::size_t text_length)
    {
        const Image& image = canvas_of(s).Image();
        const bool big = std::int64_t{image.width()} * image.height() >= kBigSurface || text_length >= kBigText;
        if (!big)
            return true;
        if (expensive_ >= kExpensivePerInput)
            return false;
        ++expensive_;
        return true;
    }

    // The target as the file layer will resolve it, and what it holds now.
    void prepare_save(const synapse& s)
    {
        saving_ = true;
        target_.clear();
        before_.reset();
        if (s.FileName.empty() || has_lone_surrogate_or_nul(s.FileName))
            return;
        std::error_code ec;
        fs::path path(to_utf8(s.FileName));
        for (int hops = 0; hops < 8 && fs::is_symlink(path, ec); ++hops)
            path = path.parent_path() / fs::read_symlink(path, ec);
        target_ = path;
        before_ = contents(path);
    }

    void expect_unchanged(const synapse&) const
    {
        if (target_.empty())
            return;
        if (contents(target_) != before_)
            violated("a failed save changed", target_.string());
    }

    // A successful save leaves a complete bitmap of the current surface.
    void expect_saved(const synapse& s, bool mono) const
    {
        const Image& image = canvas_of(s).Image();
        struct stat st {};
        if (::stat(target_.c_str(), &st) != 0)
            violated("saved file missing", target_.string());
        const std::uint64_t stride = mono ? (std::uint64_t(image.width()) + 31) / 32 * 4 : bmp24_stride(image.width());
        const std::uint64_t expected = (mono ? 62 : 54) + stride * std::uint64_t(image.height());
        if (std::uint64_t(st.st_size) != expected)
            violated("saved file has the wrong size", target_.string() + " " + std::to_string(st.st_size) +
                                                          " != " + std::to_string(expected));
    }

    static void check_surface(const synapse& s)
    {
        const Image& image = canvas_of(s).Image();
        if (image.width() < 0 || image.height() < 0 || image.width() > kMaxImageSide ||
            image.height() > kMaxImageSide || std::int64_t{image.width()} * image.height() > kMaxImagePixels)
            violated("surface outside its caps");
        if (canvas_of(s).Width() != static_cast<Single>(image.width()) ||
            canvas_of(s).Height() != static_cast<Single>(image.height()))
            violated("canvas size and image size disagree");
    }

    const Sandbox& sandbox_;
    fs::path target_;
    std::optional<std::string> before_;
    bool saving_ = false;
    int expensive_ = 0;
    bool trace_;
    const char* call_ = "";
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The one process-wide object a fuzz target needs: its private folder.
    static Sandbox sandbox;
    sandbox.reset();
    Input in(data, size);
    Driver(sandbox).run(in);
    return 0;
}
