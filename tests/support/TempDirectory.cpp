#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace VantorTest {

TempDirectory::TempDirectory()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vantor-test-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        throw std::runtime_error("cannot create a temporary directory");
    path = pattern;
}

TempDirectory::~TempDirectory()
{
    boost::system::error_code ignored;
    // Tests may leave read-only folders behind; make them writable before removing.
    for (boost::filesystem::recursive_directory_iterator it(path, ignored), end; it != end; it.increment(ignored))
        boost::filesystem::permissions(it->path(), boost::filesystem::owner_all | boost::filesystem::add_perms, ignored);
    boost::filesystem::permissions(path, boost::filesystem::owner_all | boost::filesystem::add_perms, ignored);
    boost::filesystem::remove_all(path, ignored);
}

std::string TempDirectory::File(const std::string& relative) const
{
    return path + "/" + relative;
}

ScopedHome::ScopedHome()
{
    const char* current = std::getenv("HOME");
    hadHome = current != nullptr;
    if (hadHome)
        previousHome = current;
    setenv("HOME", Path().c_str(), 1);
}

ScopedHome::~ScopedHome()
{
    if (hadHome)
        setenv("HOME", previousHome.c_str(), 1);
    else
        unsetenv("HOME");
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

OpenFile TemporaryFileWith(const std::string& contents)
{
    OpenFile file(std::tmpfile());
    std::fwrite(contents.data(), 1, contents.size(), file.get());
    std::rewind(file.get());
    return file;
}

std::string ContentsOf(FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    char buffer[1024];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file)) > 0;)
        text.append(buffer, n);
    return text;
}

} // namespace VantorTest
