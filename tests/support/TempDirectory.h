#ifndef TESTS_SUPPORT_TEMPDIRECTORY_H
#define TESTS_SUPPORT_TEMPDIRECTORY_H

#include <cstdio>
#include <memory>
#include <string>

namespace VantorTest {

// A fresh folder under the system's temporary directory, removed with everything in it
// when the object goes away. Path() ends without a slash.
class TempDirectory {
public:
    TempDirectory();
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;

    const std::string& Path() const { return path; }
    // Path() + "/" + relative
    std::string File(const std::string& relative) const;

private:
    std::string path;
};

// A temporary folder that HOME points at for the object's lifetime; HOME is then put back
// as it was (or unset again).
class ScopedHome : public TempDirectory {
public:
    ScopedHome();
    ~ScopedHome();

private:
    bool hadHome;
    std::string previousHome;
};

// Whole contents of a file; empty when it can't be read.
std::string ReadFile(const std::string& path);
// Writes (replacing) a file; fails the current test when that is not possible.
void WriteFile(const std::string& path, const std::string& contents);

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
typedef std::unique_ptr<FILE, FileCloser> OpenFile;

// An anonymous temporary file holding `contents`, positioned at its start.
OpenFile TemporaryFileWith(const std::string& contents);
// Whole contents of an open file, read from its start.
std::string ContentsOf(FILE* file);

} // namespace VantorTest

#endif
