// Writing a whole file at once: what is written, what is replaced, and
// that a write that fails leaves the folder exactly as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>

#include "file_write.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Every file under the folder, by its path there, with what it holds (its
// size and its start, where it is long).
using Tree = std::map<std::string, std::string>;

std::string Read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string Summary(const std::string& bytes)
{
    return bytes.size() <= 64 ? bytes
                              : std::to_string(bytes.size()) + " bytes: " + bytes.substr(0, 16);
}

// For the log: ASCII as it is, anything else as '?'.
std::string Ascii(const std::u16string& s)
{
    std::string out;
    for (const char16_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

class FileWrite : public ::testing::Test {
protected:
    fs::path dir;

    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              (std::string("wendrel-file-write-") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir, ignored);
    }
    Tree Files() const
    {
        Tree tree;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            tree[fs::relative(e.path(), dir).generic_string()] =
                e.is_regular_file() ? Summary(Read(e.path())) : "<folder>";
        return tree;
    }
};

TEST_F(FileWrite, WritesANewFileAndReplacesAnOldOne)
{
    const fs::path target = dir / "history.txt";
    const std::string bytes("row 1\nrow \0 2\n\xE5\x8F\x97\n", 15);
    base::FileWriteResult r = base::WriteFileReplacing(target.u16string(), bytes);
    EXPECT_TRUE(r.ok) << ::testing::PrintToString(r.reason);
    EXPECT_TRUE(r.reason.empty());
    EXPECT_EQ(Files(), (Tree{{"history.txt", bytes}}));

    // A shorter text over a longer one, and then nothing at all.
    for (const std::string next : {std::string("short\n"), std::string()}) {
        r = base::WriteFileReplacing(target.u16string(), next);
        EXPECT_TRUE(r.ok) << ::testing::PrintToString(r.reason);
        EXPECT_EQ(Files(), (Tree{{"history.txt", next}}));
    }

    // A name beyond ASCII.
    const fs::path japanese = dir / u"受信履歴.txt";
    EXPECT_TRUE(base::WriteFileReplacing(japanese.u16string(), "x").ok);
    EXPECT_EQ(Read(japanese), "x");
}

#ifndef _WIN32
TEST_F(FileWrite, AReplacedFileKeepsItsPermissions)
{
    const fs::path target = dir / "history.txt";
    Write(target, "old");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    ASSERT_TRUE(base::WriteFileReplacing(target.u16string(), "new").ok);
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Read(target), "new");
}
#endif

// Each way of failing: the system says why, the old file is whole, and
// nothing new is left in the folder.
TEST_F(FileWrite, AFailedWriteLeavesTheFolderAsItWas)
{
    struct Case {
        const char* name;
        // Prepares the folder; returns the target, or "" to skip the case.
        std::function<fs::path()> target;
        std::function<void()> undo = [] {};
    };
    const std::string big(1 << 16, 'x');
    const Case cases[] = {
        {"a folder that is not there", [&] { return dir / "missing" / "history.txt"; }},
        {"a folder by that name",
         [&] {
             fs::create_directory(dir / "history.txt");
             Write(dir / "history.txt" / "inside.txt", "kept");
             return dir / "history.txt";
         }},
#ifdef _WIN32
        {"a name the system refuses", [&] { return dir / "a<b>.txt"; }},
        {"a read-only file",
         [&] {
             Write(dir / "history.txt", "old");
             SetFileAttributesW((dir / "history.txt").c_str(), FILE_ATTRIBUTE_READONLY);
             return dir / "history.txt";
         },
         [&] { SetFileAttributesW((dir / "history.txt").c_str(), FILE_ATTRIBUTE_NORMAL); }},
#else
        {"a name the system refuses", [&] { return dir / std::string(300, 'n'); }},
        {"a read-only folder",
         [&]() -> fs::path {
             Write(dir / "history.txt", "old");
             chmod(dir.c_str(), 0555);
             // The superuser may write there all the same.
             return access(dir.c_str(), W_OK) == 0 ? fs::path() : dir / "history.txt";
         },
         [&] { chmod(dir.c_str(), 0755); }},
        // No room for the whole text: the write stops part of the way.
        {"no room",
         [&] {
             Write(dir / "history.txt", "old");
             signal(SIGXFSZ, SIG_IGN);
             rlimit limit{4096, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &limit);
             return dir / "history.txt";
         },
         [&] {
             rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &limit);
         }},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        const fs::path target = c.target();
        if (target.empty()) {
            c.undo();
            std::printf("skipped: %s (this user may write anywhere)\n", c.name);
            continue;
        }
        const Tree before = Files();
        const base::FileWriteResult r = base::WriteFileReplacing(target.u16string(), big);
        c.undo();
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.reason.empty());
        std::printf("%s: %s\n", c.name, Ascii(r.reason).c_str());
        EXPECT_EQ(Files(), before);
    }
}

TEST(TextLineBreak, IsThisSystemsOwn)
{
#ifdef _WIN32
    EXPECT_EQ(base::TextLineBreak(), "\r\n");
#else
    EXPECT_EQ(base::TextLineBreak(), "\n");
#endif
}

}  // namespace
