// The test executable defines the Pango calls that take text, so the
// drawer, a static library linked into it, binds to these; each counts and
// forwards to Pango's own definition, found with RTLD_NEXT.
#include "pango_text_counter.hpp"

#include <dlfcn.h>
#include <pango/pango.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumarin::test {
namespace {

std::atomic<std::size_t> g_calls{0};
std::atomic<std::size_t> g_bytes{0};
std::atomic<std::size_t> g_largest{0};
std::atomic<std::size_t> g_longest_marks{0};

void raise_to(std::atomic<std::size_t>& most, std::size_t value)
{
    std::size_t seen = most.load();
    while (value > seen && !most.compare_exchange_weak(seen, value)) {
    }
}

void count(const char* text, int length)
{
    const std::size_t bytes = length >= 0 ? static_cast<std::size_t>(length) : text ? std::strlen(text) : 0;
    ++g_calls;
    g_bytes += bytes;
    raise_to(g_largest, bytes);
}

void count_marks(const char* text, int length)
{
    if (!text)
        return;
    const char* end = length >= 0 ? text + length : text + std::strlen(text);
    std::size_t run = 0;
    for (const char* p = text; p < end; p = g_utf8_next_char(p)) {
        run = g_unichar_ismark(g_utf8_get_char(p)) ? run + 1 : 0;
        raise_to(g_longest_marks, run);
    }
}

// Pango's definition of `name`; without it there is nothing to forward to.
template <typename Function>
Function* next(const char* name)
{
    void* found = dlsym(RTLD_NEXT, name);
    if (!found) {
        std::fprintf(stderr, "pango_text_counter: no %s after the test executable\n", name);
        std::abort();
    }
    return reinterpret_cast<Function*>(found);
}

}  // namespace

PangoTextCounts pango_text_counts()
{
    return {g_calls.load(), g_bytes.load(), g_largest.load(), g_longest_marks.load()};
}

void reset_pango_text_counts()
{
    g_calls = 0;
    g_bytes = 0;
    g_largest = 0;
    g_longest_marks = 0;
}

}  // namespace lumarin::test

extern "C" {

void pango_layout_set_text(PangoLayout* layout, const char* text, int length)
{
    static auto* const real = lumarin::test::next<decltype(pango_layout_set_text)>("pango_layout_set_text");
    lumarin::test::count(text, length);
    lumarin::test::count_marks(text, length);
    real(layout, text, length);
}

GList* pango_itemize(PangoContext* context, const char* text, int start_index, int length, PangoAttrList* attrs,
                     PangoAttrIterator* cached_iter)
{
    static auto* const real = lumarin::test::next<decltype(pango_itemize)>("pango_itemize");
    lumarin::test::count(text ? text + start_index : nullptr, length);
    return real(context, text, start_index, length, attrs, cached_iter);
}

void pango_get_log_attrs(const char* text, int length, int level, PangoLanguage* language, PangoLogAttr* attrs,
                         int attrs_len)
{
    static auto* const real = lumarin::test::next<decltype(pango_get_log_attrs)>("pango_get_log_attrs");
    lumarin::test::count(text, length);
    real(text, length, level, language, attrs, attrs_len);
}

}  // extern "C"
