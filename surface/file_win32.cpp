// Windows side of ReplacementFile: the temporary is created beside the
// target with CREATE_NEW and moved over it with MoveFileExW, which replaces
// the target in one step or not at all. (ReplaceFileW would keep the old
// file's security descriptor, but some of its failures leave neither file
// under the target's name.)
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "lumarin/error.hpp"
#include "common/text.hpp"
#include "surface/file.hpp"
#include "surface/win_handles.hpp"

namespace lumarin {

namespace {

// What a failed call means for the caller. Every call here creates or
// replaces a file, so ERROR_FILE_NOT_FOUND can only mean a missing folder.
ErrorKind kind_of_error(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ErrorKind::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: return ErrorKind::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ErrorKind::DiskFull;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME: return ErrorKind::BadFileName;
    default: return ErrorKind::PathFileAccess;
    }
}

std::wstring wide(const Text& text) { return std::wstring(text.begin(), text.end()); }

std::string narrow(const std::wstring& text)
{
    return to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

[[noreturn]] void fail_win32(DWORD error, const std::wstring& path)
{
    fail(kind_of_error(error), "cannot write " + narrow(path));
}

bool is_separator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Where the temporary goes: the target's folder and a name of its own.
std::wstring temporary_prefix(const std::wstring& target)
{
    std::size_t cut = target.size();
    while (cut > 0 && !is_separator(target[cut - 1]) && target[cut - 1] != L':')
        --cut;
    // The temporary's name adds up to 16 characters; a name near the
    // 255-character limit lends it only its first 200, not split in a pair.
    std::size_t kept = std::min<std::size_t>(target.size() - cut, 200);
    if (kept < target.size() - cut && kept > 0 && target[cut + kept - 1] >= 0xD800 && target[cut + kept - 1] <= 0xDBFF)
        --kept;
    return target.substr(0, cut) + L"~" + target.substr(cut, kept) + L".";
}

// False when closing reported an error: written data may be lost.
bool close_file(win::File& file) noexcept
{
    return !file || CloseHandle(file.detach()) != 0;
}

}  // namespace

struct ReplacementFile::Impl {
    std::wstring target;
    std::wstring temporary;
    win::File file;

    void discard() noexcept
    {
        file.reset();
        if (!temporary.empty())
            DeleteFileW(temporary.c_str());
        temporary.clear();
    }
};

ReplacementFile::ReplacementFile(const Text& path) : impl_(std::make_unique<Impl>())
{
    check_file_name(path);
    impl_->target = wide(path);
    const std::wstring& target = impl_->target;

    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        fail(ErrorKind::PathFileAccess, "cannot write " + narrow(target) + " (a folder)");
    if (is_separator(target.back()))
        fail(ErrorKind::PathNotFound, "cannot write " + narrow(target));

    const std::wstring prefix = temporary_prefix(target);
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = prefix + std::to_wstring(entropy()) + L".tmp";
        const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            impl_->file.reset(h);
            impl_->temporary = std::move(name);
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            fail_win32(error, target);
    }
    if (!impl_->file)
        fail(ErrorKind::PathFileAccess, "cannot write " + narrow(target) + " (no free temporary name)");
}

ReplacementFile::~ReplacementFile()
{
    if (impl_)
        impl_->discard();
}

void ReplacementFile::write(std::span<const std::byte> bytes)
{
    const std::byte* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        const BOOL ok = WriteFile(impl_->file.get(), data, chunk, &written, nullptr);
        if (!ok || written == 0) {
            const DWORD error = ok ? ERROR_DISK_FULL : GetLastError();
            impl_->discard();
            fail_win32(error, impl_->target);
        }
        data += written;
        left -= written;
    }
}

void ReplacementFile::write(std::span<const std::span<const std::byte>> pieces)
{
    // No gathered write for buffered files here: small pieces go out in
    // runs of about 1 MiB, large ones as they are.
    constexpr std::size_t kRun = 1 << 20;
    std::vector<std::byte> run;
    const auto flush = [&] {
        if (!run.empty())
            write(std::span<const std::byte>(run));
        run.clear();
    };
    for (const auto& piece : pieces) {
        const bool large = piece.size() >= kRun / 4;
        if (large || run.size() + piece.size() > kRun)
            flush();
        if (large)
            write(piece);
        else
            run.insert(run.end(), piece.begin(), piece.end());
    }
    flush();
}

void ReplacementFile::commit()
{
    if (!close_file(impl_->file)) {
        const DWORD error = GetLastError();
        impl_->discard();
        fail_win32(error, impl_->target);
    }
    if (!MoveFileExW(impl_->temporary.c_str(), impl_->target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        impl_->discard();
        // The temporary exists, so a missing file can only be the folder.
        fail_win32(error, impl_->target);
    }
    impl_->temporary.clear();
}

}  // namespace lumarin
