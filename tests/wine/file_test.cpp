// The file layer under Wine: targets that are no file on a disk are refused
// and left alone, a link is replaced at the file it leads to, and a process
// that dies while writing leaves no temporary behind.
// Usage: file_test FOLDER (a Unix path; the test works in FOLDER/file_test
// and FOLDER/file_links).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "checks.hpp"
#include "lumarin/error.hpp"
#include "surface/bmp.hpp"
#include "surface/file.hpp"
#include "surface/win_handles.hpp"

namespace {

using lumarin::Image;
using lumarin::Text;
using lumarin::wine_test::check;

Text text_of(const std::wstring& w) { return Text(w.begin(), w.end()); }

int error_of(const std::function<void()>& call)
{
    try {
        call();
    } catch (const lumarin::Error& e) {
        return e.number();
    }
    return 0;
}

std::vector<std::wstring> entries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

std::string bytes_of(const std::wstring& path)
{
    std::string bytes;
    const lumarin::win::File file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buffer[4096];
    DWORD n = 0;
    while (file && ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    return bytes;
}

void empty_folder(const std::wstring& folder)
{
    for (const std::wstring& name : entries(folder)) {
        const std::wstring path = folder + L"\\" + name;
        if (!DeleteFileW(path.c_str()))
            RemoveDirectoryW(path.c_str());
    }
}

void test_targets_that_are_no_file_are_refused(const std::wstring& folder)
{
    const Image image(4, 4, 0xFFFFFF);
    CreateDirectoryW((folder + L"\\sub").c_str(), nullptr);
    for (const std::wstring& target : {std::wstring(L"NUL"), std::wstring(L"\\\\.\\NUL"), folder + L"\\sub"}) {
        const int number = error_of([&] { lumarin::SavePicture(image, text_of(target)); });
        check(number == 75, "saving to " + lumarin::wine_test::narrow(target) + " gives error " +
                                std::to_string(number) + ", expected 75");
    }
    check(entries(folder) == std::vector<std::wstring>{L"sub"}, "a refused save left nothing beside it");
}

// FOLDER/file_links holds real.bmp and a Unix link to it, link.bmp, made by
// the test's fixture: Wine's CreateSymbolicLinkW makes nothing, and Wine
// shows a Unix link as a plain file, so only where the bytes land tells.
void test_a_link_is_replaced_where_it_leads(const std::wstring& links)
{
    const Image after(3, 3, 0xFFFFFF);
    lumarin::SavePicture(after, text_of(links + L"\\link.bmp"));
    const auto expected = lumarin::encode_bmp24(after);
    check(bytes_of(links + L"\\real.bmp") == std::string(reinterpret_cast<const char*>(expected.data()), expected.size()),
          "the file the link leads to holds the new bitmap");
    check(entries(links) == std::vector<std::wstring>{L"link.bmp", L"real.bmp"}, "nothing else is in the folder");
}

// The child's part: a replacement of `target`, a megabyte written, "ready"
// on standard output, then it waits to be killed.
int write_and_wait(const std::wstring& target)
{
    lumarin::ReplacementFile file(text_of(target));
    const std::vector<std::byte> block(1 << 20, std::byte{0x55});
    file.write(block);
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}

// Runs this program as a writer of `target`, kills it once it says it is
// writing, and returns what the folder held while it wrote.
std::vector<std::wstring> kill_a_writer(const std::wstring& folder, const std::wstring& target)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        return {};
    const lumarin::win::File reader(read_end);
    lumarin::win::File writer(write_end);
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --write-and-wait \"" + target + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write_end;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        check(false, "cannot start the writing child");
        return {};
    }
    const lumarin::win::File process(child.hProcess);
    const lumarin::win::File thread(child.hThread);
    writer.reset();
    char said[16] = {};
    DWORD n = 0;
    const bool ready = ReadFile(reader.get(), said, sizeof said - 1, &n, nullptr) && std::string(said, n).starts_with("ready");
    check(ready, "the child reports that it is writing");
    const auto while_writing = entries(folder);
    TerminateProcess(process.get(), 9);
    WaitForSingleObject(process.get(), INFINITE);
    return while_writing;
}

void test_a_killed_writer_leaves_nothing(const std::wstring& folder)
{
    const std::wstring target = folder + L"\\out.bmp";
    const Image old(5, 5, 0x123456);
    lumarin::SavePicture(old, text_of(target));
    const std::string before = bytes_of(target);
    for (int kill = 0; kill < 3; ++kill) {
        const auto while_writing = kill_a_writer(folder, target);
        check(while_writing.size() == 2, "the temporary is beside the target while it is written");
        check(entries(folder) == std::vector<std::wstring>{L"out.bmp"},
              "kill " + std::to_string(kill) + ": nothing is left beside the target");
        check(bytes_of(target) == before, "kill " + std::to_string(kill) + ": the target is as it was");
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wstring(argv[1]) == L"--write-and-wait")
        return write_and_wait(argv[2]);
    if (argc != 2) {
        std::printf("usage: file_test FOLDER\n");
        return 2;
    }
    const std::string unix_folder(argv[1], argv[1] + wcslen(argv[1]));
    const std::wstring folder = lumarin::wine_test::windows_path((unix_folder + "/file_test").c_str());
    CreateDirectoryW(folder.c_str(), nullptr);
    empty_folder(folder);
    test_targets_that_are_no_file_are_refused(folder);
    empty_folder(folder);
    test_a_link_is_replaced_where_it_leads(lumarin::wine_test::windows_path((unix_folder + "/file_links").c_str()));
    test_a_killed_writer_leaves_nothing(folder);
    empty_folder(folder);
    std::printf("%d failure(s)\n", lumarin::wine_test::g_failures);
    return lumarin::wine_test::g_failures == 0 ? 0 : 1;
}
