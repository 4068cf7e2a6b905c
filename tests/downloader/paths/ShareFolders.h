#ifndef TESTS_DOWNLOADER_PATHS_SHAREFOLDERS_H
#define TESTS_DOWNLOADER_PATHS_SHAREFOLDERS_H

#include "tests/support/ScopedCurrentDirectory.h"
#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>

#include <string>

// A program folder "bin/" that is the current directory, with "share/vantormp3/" beside
// it: the first two places the program looks for its installed data.
class ShareFolders : public VantorTest::TempDirectory {
public:
    ShareFolders()
        : current(MakeFolders(Path()))
    {
    }

    // A file under the current directory, its folders made.
    std::string InCurrent(const std::string& relative) const { return Made(File("bin/" + relative)); }
    // A file under ../share/vantormp3/, its folders made.
    std::string InShareBeside(const std::string& relative) const { return Made(File("share/vantormp3/" + relative)); }

private:
    // Returns the program folder.
    static std::string MakeFolders(const std::string& root)
    {
        boost::filesystem::create_directories(root + "/share/vantormp3");
        boost::filesystem::create_directories(root + "/bin");
        return root + "/bin";
    }

    static std::string Made(const std::string& path)
    {
        boost::filesystem::create_directories(boost::filesystem::path(path).parent_path());
        return path;
    }

    VantorTest::ScopedCurrentDirectory current;
};

#endif
