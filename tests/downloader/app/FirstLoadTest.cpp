#include "downloader/app/UtilityPreferences.h"

#include "tests/support/ScopedHome.h"

#include <boost/filesystem.hpp>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

// The only test of its binary: the preferences object must not exist before it runs.
TEST(FirstLoad, ThreadsCallingAtOnceShareOneLoadedObject)
{
    VantorTest::ScopedHome home;
    boost::filesystem::create_directories(home.File(".vantormp3"));
    std::FILE* file = std::fopen(home.File(".vantormp3/Settings.xml").c_str(), "wb");
    ASSERT_TRUE(file);
    std::fputs("<preferences><setting type=\"1\" key=\"Loaded\">1</setting></preferences>", file);
    std::fclose(file);

    const int threads = 8;
    std::mutex mutex;
    std::condition_variable start;
    bool go = false;
    std::vector<boost::shared_ptr<Vantor::Settings::Preferences>> seen(threads + 1);
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i) {
        workers.emplace_back([&, i]() {
            {
                std::unique_lock<std::mutex> lock(mutex);
                start.wait(lock, [&go]() { return go; });
            }
            seen[i] = Utility::Preferences();
        });
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
    }
    start.notify_all();
    seen[threads] = Utility::Preferences();
    for (std::thread& worker : workers)
        worker.join();

    ASSERT_TRUE(seen[0]);
    for (const auto& preferences : seen)
        EXPECT_EQ(seen[0], preferences);
    EXPECT_TRUE(seen[0]->IsLoaded());
    EXPECT_EQ(1, seen[0]->GetInt("Loaded", 0));
}
