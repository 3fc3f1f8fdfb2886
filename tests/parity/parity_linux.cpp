// The parity jobs through the Linux library: parity_linux OUTPUT-FOLDER
#include <cstdio>
#include <exception>
#include <filesystem>

#include "lumarin/synapse.hpp"
#include "tests/parity/parity_jobs.hpp"

namespace {

using namespace lumarin;

class LinuxObject {
public:
    void font(std::u16string_view name, int size)
    {
        s_.FontName = Text(name);
        s_.FontSize = static_cast<Integer>(size);
    }
    void style(const parity::Style& st)
    {
        s_.FinalBold = Boolean(st.bold);
        s_.FontItalic = Boolean(st.italic);
        s_.FontUnderline = Boolean(st.underline);
        s_.FontStrikethru = Boolean(st.strikethru);
    }
    void spacing(int pixels) { s_.LineSpacing = static_cast<Integer>(pixels); }
    void width_factor(int percent) { s_.FontWeight = static_cast<Integer>(percent); }
    void file(const std::u16string& path) { s_.FileName = path; }
    void size_for(std::u16string_view longest) { s_.MaximumStringLength(Text(longest)); }
    void pad(int side, int top)
    {
        s_.SidePadding(static_cast<Integer>(side));
        s_.TopPadding(static_cast<double>(top));
    }
    void print(std::u16string_view line) { s_.PrintText(Text(line), 0, 0); }
    void monotize() { s_.Monotize(u""); }

private:
    synapse s_;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: parity_linux OUTPUT-FOLDER\n");
        return 2;
    }
    try {
        const std::filesystem::path out(argv[1]);
        std::filesystem::create_directories(out);
        for (const int size : parity::kSizes)
            for (const auto& style : parity::kStyles) {
                LinuxObject o;
                parity::run_job(o, size, style, (out / parity::file_name(size, style)).u16string());
            }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "parity_linux: %s\n", e.what());
        return 1;
    }
    return 0;
}
