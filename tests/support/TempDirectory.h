#ifndef TESTS_SUPPORT_TEMPDIRECTORY_H
#define TESTS_SUPPORT_TEMPDIRECTORY_H

// Files and folders of the tests' own: temporary ones, HOME, the current directory, a small
// file system, and whole files read and written.

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace VantorTest {

// A fresh folder under TMPDIR (or /tmp), removed with everything in it, read-only parts too.
class TempDirectory {
public:
    TempDirectory()
    {
        const char* base = std::getenv("TMPDIR");
        path = std::string(base && *base ? base : "/tmp") + "/vantor-test-XXXXXX";
        if (!mkdtemp(&path[0]))
            throw std::runtime_error("cannot create a temporary directory");
    }
    ~TempDirectory()
    {
        namespace fs = boost::filesystem;
        boost::system::error_code ignored;
        fs::permissions(path, fs::owner_all | fs::add_perms, ignored);
        for (fs::recursive_directory_iterator it(path, ignored), end; it != end; it.increment(ignored))
            fs::permissions(it->path(), fs::owner_all | fs::add_perms, ignored);
        fs::remove_all(path, ignored);
    }
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path; }
    std::string File(const std::string& relative) const { return path + "/" + relative; }

private:
    std::string path;
};

class ScopedHome : public TempDirectory {
public:
    ScopedHome() { setenv("HOME", Path().c_str(), 1); }
    ~ScopedHome() { previous ? setenv("HOME", previous->c_str(), 1) : unsetenv("HOME"); }

private:
    const std::unique_ptr<std::string> previous{std::getenv("HOME") ? new std::string(std::getenv("HOME")) : nullptr};
};

class ScopedCurrentDirectory {
public:
    explicit ScopedCurrentDirectory(const std::string& path) { EXPECT_EQ(0, chdir(path.c_str())) << path; }
    ~ScopedCurrentDirectory() { EXPECT_EQ(0, chdir(previous.c_str())) << previous; }

private:
    const std::string previous = boost::filesystem::current_path().string();
};

inline std::string ReadFile(const std::string& path)
{
    std::ostringstream out;
    out << std::ifstream(path, std::ios::binary).rdbuf();
    return out.str();
}

// Throws std::runtime_error, which fails the test, when the file can't be written.
inline void WriteFile(const std::string& path, const std::string& contents)
{
    if (!(std::ofstream(path, std::ios::binary) << contents).flush())
        throw std::runtime_error("cannot write " + path);
}

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> OpenFile;

inline OpenFile TemporaryFileWith(const std::string& contents)
{
    OpenFile file(std::tmpfile());
    std::fwrite(contents.data(), 1, contents.size(), file.get());
    std::rewind(file.get());
    return file;
}

inline std::string ContentsOf(FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, n);
    return text;
}

// For a death test's child: a tmpfs of `sizeBytes` on `directory` in a mount namespace of its
// own (and a user namespace when unprivileged). False when this system does not allow it.
inline bool MountPrivateTmpfs(const std::string& directory, unsigned long sizeBytes)
{
    const auto write = [](const char* path, const std::string& text) { return bool(std::ofstream(path) << text << std::flush); };
    if (unshare(CLONE_NEWNS) != 0) {
        const std::string uid = std::to_string(geteuid()), gid = std::to_string(getegid());
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return false;
        write("/proc/self/setgroups", "deny");
        if (!write("/proc/self/uid_map", "0 " + uid + " 1\n") || !write("/proc/self/gid_map", "0 " + gid + " 1\n"))
            return false;
    }
    // Keep the new mount from showing up in the parent's namespace.
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && mount("tmpfs", directory.c_str(), "tmpfs", 0, ("size=" + std::to_string(sizeBytes) + ",mode=0755").c_str()) == 0;
}

} // namespace VantorTest

#endif
