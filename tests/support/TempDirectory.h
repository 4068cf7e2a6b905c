#ifndef TESTS_SUPPORT_TEMPDIRECTORY_H
#define TESTS_SUPPORT_TEMPDIRECTORY_H

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

// Whole contents of a file; empty when it can't be read.
std::string ReadFile(const std::string& path);
// Writes (replacing) a file; fails the current test when that is not possible.
void WriteFile(const std::string& path, const std::string& contents);

} // namespace VantorTest

#endif
