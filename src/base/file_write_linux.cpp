#include "file_write.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>

namespace base {

namespace {

// File names are bytes; the program's are UTF-16, the desktop's UTF-8.
std::string ToUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// strerror's text is in the locale's encoding, which on a desktop is
// UTF-8; a byte that is not becomes U+FFFD.
std::u16string FromUtf8(std::string_view s)
{
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const int n = b < 0x80 ? 0 : b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 ? 1 : -1;
        char32_t c = n == 0 ? b : n == 1 ? (b & 0x1F) : n == 2 ? (b & 0x0F) : (b & 0x07);
        bool good = n >= 0 && i + n < s.size() + (n ? 0 : 1);
        for (int k = 1; good && k <= n; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            good = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        good = good && !(c >= 0xD800 && c <= 0xDFFF) && c <= 0x10FFFF &&
               c >= (n == 2 ? 0x800u : n == 3 ? 0x10000u : 0u);
        if (!good) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += n + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

FileWriteResult Failure(int error)
{
    char buf[256];
    // GNU strerror_r: the text may or may not be in `buf`.
    const char* text = strerror_r(error, buf, sizeof buf);
    return {false, FromUtf8(text)};
}

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

FileWriteResult WriteFileReplacing(const std::u16string& path16, std::string_view bytes)
{
    std::string path = ToUtf8(path16);
    if (path.empty() || path.back() == '/')
        return Failure(path.empty() ? ENOENT : EISDIR);
    // Through a symbolic link to the file it names, which keeps the link.
    struct stat old {};
    const bool exists = stat(path.c_str(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            return Failure(EISDIR);
        if (char* real = realpath(path.c_str(), nullptr)) {
            path = real;
            free(real);
        }
    }
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);

    // A short name of its own, so that a target whose name is as long as
    // the system allows still gets one; hidden, for the moment it exists.
    static std::atomic<unsigned> s_serial{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = dir + ".wendrel-" + std::to_string(getpid()) + "-" +
               std::to_string(s_serial++) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return Failure(errno);
    }
    if (fd < 0)
        return Failure(EEXIST);

    int error = 0;
    if (exists && fchmod(fd, old.st_mode & 07777) != 0)
        error = errno;
    if (!error && !WriteAll(fd, bytes))
        error = errno;
    // On the disk before it takes the old file's place: a crash then
    // leaves the old file or the new one, never an empty one.
    if (!error && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && !error)
        error = errno;
    if (!error && rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error) {
        unlink(temp.c_str());
        return Failure(error);
    }
    // The new name on the disk too; where the folder cannot be synced,
    // the file is written all the same.
    if (const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return {true, {}};
}

std::string_view TextLineBreak() { return "\n"; }

}  // namespace base
