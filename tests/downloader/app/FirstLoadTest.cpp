#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/settings/PreferencesKeys.h"
#include "core/settings/UtilityPreferences.h"

#include "tests/support/TempDirectory.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

// The only test of its binary: the preferences object must not exist before it runs.
TEST(FirstLoad, ThreadsShareOneObjectLoadedOnceAndMayReadItWhileAnotherWrites)
{
    VantorTest::ScopedHome home;
    boost::filesystem::create_directories(home.File(".vantormp3"));
    VantorTest::WriteFile(home.File(".vantormp3/Settings.xml"),
                          "<preferences><setting type=\"1\" key=\"Loaded\">1</setting></preferences>");

    const int threads = 8;
    std::vector<boost::shared_ptr<Vantor::Settings::Preferences>> seen(threads);
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([&seen, i]() { seen[i] = Utility::Preferences(); });
    for (std::thread& worker : workers)
        worker.join();

    ASSERT_TRUE(seen[0]);
    for (const auto& preferences : seen)
        EXPECT_EQ(seen[0], preferences);
    EXPECT_TRUE(seen[0]->IsLoaded());
    EXPECT_EQ(1, seen[0]->GetInt("Loaded", 0));

    // The download worker looks the music folder up while the main thread saves other
    // choices of the preferences dialog.
    namespace Downloader = Vantor::DigitalMedia::MusicClient::Downloader;
    const std::string chosen = home.File("Chosen") + "/";
    seen[0]->SetString(Downloader::PreferencesKeys::DownloadDirectory, chosen.c_str());
    std::thread worker([&chosen]() {
        Downloader::LinuxFilesystemUtility filesystem;
        for (int i = 0; i < 2000; ++i)
            ASSERT_EQ(chosen, filesystem.GetSpecialDirectory(Vantor::Filesystem::FilesystemUtility::MusicDirectory));
    });
    for (int i = 0; i < 2000; ++i) {
        seen[0]->SetString(Downloader::PreferencesKeys::DownloadDirectory, chosen.c_str());
        seen[0]->SetString(std::to_string(i).c_str(), "new key");
    }
    worker.join();
}
