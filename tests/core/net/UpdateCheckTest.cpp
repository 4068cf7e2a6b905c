#include "core/net/UpdateCheck.h"

#include "core/localization/TranslationService.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"
#include "tests/support/ThreadSync.h"

#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <thread>

using Vantor::Net::UpdateCheck;
using namespace VantorTest;

namespace {

const Vantor::Settings::Version kRunning(1, 0, 9);
const std::string kNotFound = "not found";

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

// "<latest> <url> [update] [critical]", or "not found" with every field at its default.
std::string Describe(const UpdateCheck::UpdateInfo& info)
{
    if (!info.found && info.latestVersion == Vantor::Settings::Version() && info.url.empty() && !info.updateAvailable &&
        !info.critical)
        return kNotFound;
    return info.latestVersion.ToString() + " " + info.url + (info.updateAvailable ? " update" : "") +
           (info.critical ? " critical" : "") + (info.found ? "" : " (found not set)");
}

// The store stand-in serves the answer file "update.xml"; every locale's update address
// points at `path` on it.
class UpdateCheckTest : public ::testing::Test, public sigslot::has_slots<sigslot::multi_threaded_local> {
protected:
    UpdateCheckTest() : store(root.Path()) { UpdateAddress(store.Url("/update.xml")); }
    ~UpdateCheckTest() override { disconnect_all(); }

    void UpdateAddress(const std::string& url, const std::string& locale = "en_US")
    {
        for (const char* name : {"en_US", "en_GB", "de_DE"})
            WriteTranslationFile(translations.File(std::string(name) + ".xml"), name, {{"sonvel_url_update_check", url}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), locale);
    }

    void Publish(const std::string& answer) { WriteFile(root.File("update.xml"), answer); }

    void Listen(UpdateCheck& check) { check.UpdateCompletedSignal.connect(this, &UpdateCheckTest::OnCompleted); }
    void OnCompleted(UpdateCheck::UpdateInfo info)
    {
        results.Add(Describe(info) + (std::this_thread::get_id() == mainThread ? " on the main thread" : ""));
    }

    TempDirectory root;
    TempDirectory translations;
    StoreServer store;
    Journal results;
    const std::thread::id mainThread = std::this_thread::get_id();
};

TEST_F(UpdateCheckTest, ParsesTheAnswer)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Answer(Product("1.0.10", "1.0.5")), "1.0.10 http://get/it update"},
        {Answer(Product("2.0.0", "1.0.9")), "2.0.0 http://get/it update critical"},
        // Not newer: "criticalSince" is not even read.
        {Answer(Product("01.0.9", "garbage")), "1.0.9 http://get/it"},
        {Answer(Product("1.0.10", "1.0.5", "")), "1.0.10  update"},
        // The first entry for this product and platform counts.
        {Answer("<Product platform=\"Linux\" latestVersion=\"9.0.0\" criticalSince=\"9.0.0\"/>" +
                Product("8.0.0", "1.0.0", "http://other", "Windows") + Product("7.0.0", "1.0.0", "http://o", "Linux", "X") +
                Product("1.1.0", "1.0.0", "http://first") + Product("1.2.0", "1.2.0", "http://second")),
         "1.1.0 http://first update"},
        {Answer(Product("1.1.0", "1.0")), kNotFound},
        {Answer(Product("1.1.0", "")), kNotFound},
        {Answer(Product("1.1.0", "1.0.0", "x", "linux")), kNotFound},
        {Answer(""), kNotFound},
        {"<Products>" + Product("1.1.0", "1.0.0") + "</Products>", kNotFound},
        {"not XML at all", kNotFound},
        {"", kNotFound},
        {"<ArrayOfProduct>" + Product("1.1.0", "1.0.0").substr(0, 40), kNotFound},
    };
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    for (const auto& c : cases)
        EXPECT_EQ(c.second, Describe(check.ParseXml(c.first))) << c.first;
    for (const char* version : {"1.0", "1.0.9.1", "1..9", "1.0.x", " 1.0.9", "", "4294967296.0.0", "-1.0.0"})
        EXPECT_EQ(kNotFound, Describe(check.ParseXml(Answer(Product(version, "1.0.0"))))) << version;
}

TEST_F(UpdateCheckTest, ThePlatformCarriesTheLocale)
{
    const std::vector<std::pair<std::string, std::string>> platforms = {
        {"en_US", "Linux"}, {"", "Linux"}, {"en_GB", "Linux-en_uk"}, {"de_DE", "Linux-de_de"}};
    for (const auto& platform : platforms) {
        UpdateAddress(store.Url("/update.xml"), platform.first);
        UpdateCheck check("DownloadManager", "Linux", kRunning);
        EXPECT_TRUE(check.ParseXml(Answer(Product("1.1.0", "1.0.0", "u", platform.second))).found) << platform.first;
    }
}

TEST_F(UpdateCheckTest, AsksTheStoreAndLogs)
{
    LogRecorder log;
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {Answer(Product("1.1.0", "1.0.9", "http://store/new")), "1.1.0 http://store/new update critical"},
        {"<html><body>Service unavailable</body></html>", kNotFound},
        // 50 MB: more than an answer can be; refused without holding it all.
        {Answer(std::string(50 * 1024 * 1024, ' ') + Product("1.1.0", "1.0.0")), kNotFound},
    };
    for (const auto& c : cases) {
        Publish(c.first);
        EXPECT_EQ(c.second, Describe(check.CheckSync()));
    }
    ASSERT_TRUE(boost::filesystem::remove(root.File("update.xml")));
    EXPECT_EQ(kNotFound, Describe(check.CheckSync())); // 404
    EXPECT_EQ(std::vector<std::string>(4, "/update.xml"), store.Requests());
    EXPECT_EQ(4u, log.LinesContaining("UpdateCheck: started").size());
    EXPECT_EQ(4u, log.LinesContaining("UpdateCheck: finished").size());
}

TEST_F(UpdateCheckTest, ResultsArriveOnTheCheckThreads)
{
    Publish(Answer(Product("1.0.9", "1.0.0")));
    UpdateCheck check("DownloadManager", "Linux", kRunning);
    Listen(check);
    check.CheckAsync();
    check.CheckAsync();
    ASSERT_TRUE(results.WaitFor("1.0.9 http://get/it", 2));
    // Without a network the result arrives all the same.
    UpdateAddress("http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/update.xml");
    check.CheckAsync();
    ASSERT_TRUE(results.WaitFor(kNotFound));
}

TEST_F(UpdateCheckTest, DestroyingTheCheckWhileItRunsStopsIt)
{
    UpdateAddress(store.Url("/stall/1000"));
    {
        UpdateCheck check("DownloadManager", "Linux", kRunning);
        Listen(check);
        check.CheckAsync();
        ASSERT_TRUE(store.WaitForRequests(1, std::chrono::seconds(10)));
    }
    // The stalled check was stopped, not waited out, and told no one.
    EXPECT_TRUE(results.Entries().empty());
}

} // namespace
