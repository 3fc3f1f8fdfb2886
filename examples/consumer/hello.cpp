// A receipt header in two lines, the first in bold, saved as a colour BMP
// and then rewritten as a 1-bit BMP.
//   hello OUT.bmp
// Builds against an installed Lumarin, through CMake (CMakeLists.txt here)
// or pkg-config: g++ -std=c++20 hello.cpp $(pkg-config --cflags --libs lumarin)
#include <lumarin/error.hpp>
#include <lumarin/synapse.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: hello OUT.bmp\n");
        return 2;
    }
    const std::string out = argv[1];
    try {
        lumarin::synapse s;
        s.FontName = u"Liberation Mono";
        s.FontSize = 10;
        s.LineSpacing = 16;
        s.FileName = std::u16string(out.begin(), out.end());  // an ASCII path here
        s.MaximumStringLength(u"Thank you for shopping");
        s.SidePadding(4);
        s.TopPadding(4);
        s.FinalBold = true;
        s.PrintText(u"LUMARIN CORNER SHOP", 0, 0);
        s.FinalBold = false;
        s.PrintText(u"Thank you for shopping", 0, 0);
        s.Monotize(u"");
    } catch (const lumarin::Error& e) {
        std::fprintf(stderr, "hello: error %d: %s\n", e.number(), e.what());
        return 1;
    }
    return 0;
}
