// Windows side of ReplacementFile: the target is opened first, as the system
// resolves it, and refused unless it is a file on a disk; a reparse point
// (a symbolic link or junction) is replaced at the path it resolves to. The
// temporary is created beside that file with CREATE_NEW, marked for
// deletion before anything is written, so that a process that dies leaves
// nothing, and unmarked just before MoveFileExW moves it over the target in
// one step or not at all. (ReplaceFileW would keep the old file's security
// descriptor, but some of its failures leave neither file under the
// target's name.)
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/fail.hpp"
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

Text text_of(const std::wstring& text) { return Text(text.begin(), text.end()); }

[[noreturn]] void fail_win32(DWORD error, const std::wstring& path)
{
    fail(kind_of_error(error), cannot_write(text_of(path)));
}

[[noreturn]] void fail_because(ErrorKind kind, const std::wstring& path, const char* why)
{
    fail(kind, cannot_write(text_of(path)) + " (" + why + ")");
}

// The path the system resolves an open file to, every link and junction on
// the way followed; empty where the file system cannot tell.
std::wstring final_path(HANDLE file)
{
    std::wstring resolved(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(file, resolved.data(), static_cast<DWORD>(resolved.size()),
                                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (n == 0)
            return {};
        if (n < resolved.size()) {
            resolved.resize(n);
            return resolved;
        }
        resolved.resize(n);
    }
}

// The file that will be replaced, where the system resolves `path` to. Only
// a file on a disk may be replaced; a folder, a device (NUL, CON, COM1) or a
// pipe is refused and left alone.
std::wstring resolve_target(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    const bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    const win::File file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        if (link)
            fail_because(ErrorKind::PathFileAccess, path, "a link that leads nowhere");
        if (error == ERROR_FILE_NOT_FOUND)
            return path;  // a new file
        fail_win32(error, path);
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        fail_because(ErrorKind::PathFileAccess, path, "not a regular file");
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info))
        fail_win32(GetLastError(), path);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        fail_because(ErrorKind::PathFileAccess, path, "a folder");
    // Wine shows a Unix link as a plain file, so the final path is asked
    // for every existing file, not only for reparse points.
    std::wstring resolved = final_path(file.get());
    if (!resolved.empty())
        return resolved;
    if (link)
        fail_because(ErrorKind::PathFileAccess, path, "cannot tell where the link leads");
    return path;
}

bool set_delete_on_close(HANDLE file, bool on)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = on ? TRUE : FALSE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
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
    std::wstring given;  // as the caller named it, for messages
    std::wstring target;
    std::wstring temporary;
    win::File file;
    bool sync = true;

    void discard() noexcept
    {
        file.reset();
        if (!temporary.empty())
            DeleteFileW(temporary.c_str());
        temporary.clear();
    }
};

// Windows keeps a file's ACL with the folder's inheritance rules; the
// options' loss report has nothing to report here.
ReplacementFile::ReplacementFile(const Text& path, SaveOptions options, Temporary) : impl_(std::make_unique<Impl>())
{
    check_file_name(path);
    impl_->sync = options.sync;
    impl_->given = wide(path);
    if (is_separator(impl_->given.back())) {
        const DWORD attributes = GetFileAttributesW(impl_->given.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            fail_because(ErrorKind::PathFileAccess, impl_->given, "a folder");
        fail(ErrorKind::PathNotFound, cannot_write(path));
    }
    impl_->target = resolve_target(impl_->given);

    const std::wstring prefix = temporary_prefix(impl_->target);
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring name = prefix + std::to_wstring(entropy()) + L".tmp";
        // DELETE access lets the handle mark the file for deletion.
        const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            impl_->file.reset(h);
            impl_->temporary = std::move(name);
            break;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            fail_win32(error, impl_->given);
    }
    if (!impl_->file)
        fail_because(ErrorKind::PathFileAccess, impl_->given, "no free temporary name");
    if (!set_delete_on_close(impl_->file.get(), true)) {
        const DWORD error = GetLastError();
        impl_->discard();
        fail_win32(error, impl_->given);
    }
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
            fail_win32(error, impl_->given);
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
    Impl& impl = *impl_;
    if (impl.sync && !FlushFileBuffers(impl.file.get())) {
        const DWORD error = GetLastError();
        impl.discard();
        fail_win32(error, impl.given);
    }
    // From here until the move the temporary would outlive the process.
    if (!set_delete_on_close(impl.file.get(), false) || !close_file(impl.file)) {
        const DWORD error = GetLastError();
        impl.discard();
        fail_win32(error, impl.given);
    }
    if (!MoveFileExW(impl.temporary.c_str(), impl.target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        impl.discard();
        // The temporary exists, so a missing file can only be the folder.
        fail_win32(error, impl.given);
    }
    impl.temporary.clear();
}

}  // namespace lumarin
