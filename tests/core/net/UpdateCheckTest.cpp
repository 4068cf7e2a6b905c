#include "core/net/UpdateCheck.h"

#include "core/localization/TranslationService.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <condition_variable>
#include <mutex>
#include <thread>

using Vantor::Net::UpdateCheck;
using Vantor::Settings::Version;
using namespace VantorTest;

namespace {

const std::chrono::seconds kWait(10);
const Version kRunning(1, 0, 9);

std::string Product(const std::string& latest, const std::string& criticalSince, const std::string& url = "http://get/it",
                     const std::string& platform = "Linux", const std::string& name = "DownloadManager")
{
    std::string element = "<Product name=\"" + name + "\" platform=\"" + platform + "\" latestVersion=\"" + latest + "\"";
    if (!criticalSince.empty())
        element += " criticalSince=\"" + criticalSince + "\"";
    if (!url.empty())
        element += " url=\"" + url + "\"";
    return element + "/>";
}

std::string Answer(const std::string& products)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ArrayOfProduct>" + products + "</ArrayOfProduct>";
}

// Translations in a folder of their own; the update address of every locale is `updateUrl`.
class Translations {
public:
    explicit Translations(const std::string& updateUrl)
    {
        for (const char* locale : {"en_US", "en_GB", "de_DE"})
            WriteTranslationFile(folder.File(std::string(locale) + ".xml"), locale, {{"sonvel_url_update_check", updateUrl}});
    }
    void Use(const std::string& locale) { Vantor::Localization::TranslationService::Initialize(folder.Path(), locale); }

private:
    TempDirectory folder;
};

void ExpectNotFound(const UpdateCheck::UpdateInfo& info)
{
    EXPECT_FALSE(info.found);
    EXPECT_TRUE(info.latestVersion == Version());
    EXPECT_EQ("", info.url);
    EXPECT_FALSE(info.updateAvailable);
    EXPECT_FALSE(info.critical);
}

class UpdateAnswerTest : public ::testing::Test {
protected:
    UpdateAnswerTest() : translations("http://127.0.0.1:1/") { translations.Use("en_US"); }

    UpdateCheck::UpdateInfo Parse(const std::string& xml)
    {
        UpdateCheck check("DownloadManager", "Linux", kRunning);
        return check.ParseXml(xml);
    }

    Translations translations;
};

TEST_F(UpdateAnswerTest, NewerEqualAndCriticalVersions)
{
    UpdateCheck::UpdateInfo info = Parse(Answer(Product("1.0.10", "1.0.5")));
    EXPECT_TRUE(info.found);
    EXPECT_TRUE(info.latestVersion == Version(1, 0, 10));
    EXPECT_TRUE(info.updateAvailable);
    EXPECT_FALSE(info.critical);
    EXPECT_EQ("http://get/it", info.url);

    info = Parse(Answer(Product("2.0.0", "1.0.9")));
    EXPECT_TRUE(info.updateAvailable);
    EXPECT_TRUE(info.critical);

    // Not newer: "criticalSince" is not even read.
    info = Parse(Answer(Product("01.0.9", "garbage")));
    EXPECT_TRUE(info.found);
    EXPECT_TRUE(info.latestVersion == kRunning);
    EXPECT_FALSE(info.updateAvailable);
    EXPECT_FALSE(info.critical);
    EXPECT_EQ("http://get/it", info.url);

    info = Parse(Answer(Product("1.0.10", "1.0.5", "")));
    EXPECT_TRUE(info.found);
    EXPECT_EQ("", info.url);
}

TEST_F(UpdateAnswerTest, PicksTheFirstMatchingEntry)
{
    const UpdateCheck::UpdateInfo info = Parse(Answer(
        "<Product platform=\"Linux\" latestVersion=\"9.0.0\" criticalSince=\"9.0.0\"/>"
        + Product("8.0.0", "1.0.0", "http://other", "Windows") + Product("7.0.0", "1.0.0", "http://other", "Linux", "Other")
        + Product("1.1.0", "1.0.0", "http://first") + Product("1.2.0", "1.2.0", "http://second")));
    EXPECT_TRUE(info.latestVersion == Version(1, 1, 0));
    EXPECT_EQ("http://first", info.url);
}

TEST_F(UpdateAnswerTest, AnythingElseIsNotFound)
{
    for (const char* version : {"1.0", "1.0.9.1", "1..9", "1.0.x", " 1.0.9", "", "4294967296.0.0", "-1.0.0"}) {
        SCOPED_TRACE(version);
        ExpectNotFound(Parse(Answer(Product(version, "1.0.0"))));
    }
    ExpectNotFound(Parse(Answer(Product("1.1.0", "1.0"))));
    ExpectNotFound(Parse(Answer(Product("1.1.0", ""))));
    ExpectNotFound(Parse(Answer(Product("1.1.0", "1.0.0", "x", "linux"))));
    ExpectNotFound(Parse(Answer("")));
    ExpectNotFound(Parse("<Products>" + Product("1.1.0", "1.0.0") + "</Products>"));
    ExpectNotFound(Parse("not XML at all"));
    ExpectNotFound(Parse(""));
    ExpectNotFound(Parse("<ArrayOfProduct>" + Product("1.1.0", "1.0.0").substr(0, 40)));
}

TEST_F(UpdateAnswerTest, ThePlatformCarriesTheLocale)
{
    const std::vector<std::pair<std::string, std::string>> platforms = {
        {"en_US", "Linux"}, {"", "Linux"}, {"en_GB", "Linux-en_uk"}, {"de_DE", "Linux-de_de"}};
    for (const auto& platform : platforms) {
        SCOPED_TRACE(platform.first);
        translations.Use(platform.first);
        UpdateCheck check("DownloadManager", "Linux", kRunning);
        EXPECT_TRUE(check.ParseXml(Answer(Product("1.1.0", "1.0.0", "u", platform.second))).found);
    }
}

// Checks against the store stand-in, which serves the answer file "update.xml".
class UpdateCheckTest : public ::testing::Test, public sigslot::has_slots<sigslot::multi_threaded_local> {
protected:
    UpdateCheckTest() : store(root.Path()), translations(store.Url("/update.xml")) { translations.Use("en_US"); }
    ~UpdateCheckTest() override { disconnect_all(); }

    void Publish(const std::string& answer) { WriteFile(root.File("update.xml"), answer); }

    void Listen(UpdateCheck& check) { check.UpdateCompletedSignal.connect(this, &UpdateCheckTest::OnCompleted); }

    void OnCompleted(UpdateCheck::UpdateInfo info)
    {
        std::lock_guard<std::mutex> lock(mutex);
        results.push_back(info);
        threads.push_back(std::this_thread::get_id());
        completed.notify_all();
    }

    bool WaitForResults(size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return completed.wait_for(lock, kWait, [&] { return results.size() >= count; });
    }

    TempDirectory root;
    StoreServer store;
    Translations translations;
    std::mutex mutex;
    std::condition_variable completed;
    std::vector<UpdateCheck::UpdateInfo> results;
    std::vector<std::thread::id> threads;
};

TEST_F(UpdateCheckTest, AsksTheStoreAndLogs)
{
    LogRecorder log;
    Publish(Answer(Product("1.1.0", "1.0.9", "http://store/new")));
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    const UpdateCheck::UpdateInfo info = check.CheckSync();
    EXPECT_TRUE(info.found);
    EXPECT_TRUE(info.critical);
    EXPECT_EQ("http://store/new", info.url);
    EXPECT_EQ(std::vector<std::string>{"/update.xml"}, store.Requests());
    EXPECT_EQ(1u, log.LinesContaining("UpdateCheck: started").size());
    EXPECT_EQ(1u, log.LinesContaining("UpdateCheck: finished").size());
}

TEST_F(UpdateCheckTest, FailedOrOversizedAnswersAreNotFound)
{
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    // Missing (404).
    ExpectNotFound(check.CheckSync());
    Publish("<html><body>Service unavailable</body></html>");
    ExpectNotFound(check.CheckSync());
    // 50 MB: more than an answer can be; refused without holding it all.
    Publish(Answer(std::string(50 * 1024 * 1024, ' ') + Product("1.1.0", "1.0.0")));
    ExpectNotFound(check.CheckSync());
}

TEST_F(UpdateCheckTest, ResultArrivesOnTheCheckThread)
{
    Publish(Answer(Product("1.0.9", "1.0.0")));
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    Listen(check);
    check.CheckAsync();
    check.CheckAsync();
    ASSERT_TRUE(WaitForResults(2));
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(results[i].found);
        EXPECT_FALSE(results[i].updateAvailable);
        EXPECT_NE(std::this_thread::get_id(), threads[i]);
    }
}

TEST_F(UpdateCheckTest, WithoutNetworkTheResultStillArrives)
{
    Translations unreachable("http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/update.xml");
    unreachable.Use("en_US");
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    Listen(check);
    check.CheckAsync();
    ASSERT_TRUE(WaitForResults(1));
    ExpectNotFound(results[0]);
}

TEST_F(UpdateCheckTest, DestroyingTheCheckWhileItRunsStopsIt)
{
    Translations stalled(store.Url("/stall/1000"));
    stalled.Use("en_US");
    {
        UpdateCheck check("DownloadManager", "Linux", kRunning);
        Listen(check);
        check.CheckAsync();
        ASSERT_TRUE(store.WaitForRequests(1, kWait));
    }
    // The stalled check was stopped, not waited out, and told no one.
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_TRUE(results.empty());
}

} // namespace
