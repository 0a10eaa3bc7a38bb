#include "file_write.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

namespace base {

namespace {

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

FileWriteResult Failure(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::u16string reason;
    if (n && text)
        reason.assign(reinterpret_cast<const char16_t*>(text), n);
    if (text)
        LocalFree(text);
    while (!reason.empty() && (reason.back() == u'\r' || reason.back() == u'\n' || reason.back() == u' '))
        reason.pop_back();
    if (reason.empty())
        reason = u"Error " + [](DWORD e) {
            std::u16string digits;
            do
                digits.insert(digits.begin(), static_cast<char16_t>(u'0' + e % 10));
            while (e /= 10);
            return digits;
        }(error);
    return {false, reason};
}

}  // namespace

FileWriteResult WriteFileReplacing(const std::u16string& path, std::string_view bytes)
{
    const std::size_t sep = path.find_last_of(u"\\/");
    const std::u16string name = sep == std::u16string::npos ? path : path.substr(sep + 1);
    if (name.empty())
        return Failure(ERROR_INVALID_NAME);
    const std::u16string dir = sep == std::u16string::npos ? std::u16string() : path.substr(0, sep + 1);

    // A file marked read-only is not to be replaced (a rename would).
    if (const DWORD attributes = GetFileAttributesW(W(path));
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return Failure(ERROR_ACCESS_DENIED);

    // A short name of its own beside the target: a target whose name is as
    // long as the system allows still gets one.
    static std::atomic<unsigned> s_serial{0};
    std::u16string temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        const std::string tail = "~wendrel-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(s_serial++) + ".tmp";
        temp = dir + std::u16string(tail.begin(), tail.end());
        file = CreateFileW(W(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return Failure(GetLastError());
    }
    if (file == INVALID_HANDLE_VALUE)
        return Failure(ERROR_FILE_EXISTS);

    DWORD error = 0;
    for (std::string_view rest = bytes; !error && !rest.empty();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, rest.data(), chunk, &written, nullptr) || written == 0)
            error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
        rest.remove_prefix(written);
    }
    // On the disk before it takes the old file's place.
    if (!error && !FlushFileBuffers(file))
        error = GetLastError();
    CloseHandle(file);
    if (!error) {
        // Written as a temporary file (kept in the cache); the file it
        // becomes is an ordinary one.
        SetFileAttributesW(W(temp), FILE_ATTRIBUTE_NORMAL);
        if (!MoveFileExW(W(temp), W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = GetLastError();
    }
    if (error) {
        DeleteFileW(W(temp));
        return Failure(error);
    }
    return {true, {}};
}

std::string_view TextLineBreak() { return "\r\n"; }

}  // namespace base
