#include "core/reporting/ReportService.h"

#include "core/localization/TranslationService.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <thread>

using Vantor::Net::Download;
using Vantor::Reporting::ReportService;
using namespace VantorTest;

namespace {

const std::chrono::seconds kWait(10);
const std::string kReportPath = "/gp/sonvel/ruq-result.html/";

// The store stand-in, with the report address pointed at it by the locale de_DE; the locale
// xx_XX points it at a path that answers 404, yy_YY at a closed port.
class ReportServiceTest : public ::testing::Test {
protected:
    ReportServiceTest() : store(root.Path())
    {
        const std::string closed = "http://127.0.0.1:" + std::to_string(FreeLocalPort()) + kReportPath;
        WriteTranslationFile(translations.File("de.xml"), "de_DE", {{"sonvel_url_report_service", store.Url(kReportPath)}});
        WriteTranslationFile(translations.File("xx.xml"), "xx_XX", {{"sonvel_url_report_service", store.Url("/status/404/")}});
        WriteTranslationFile(translations.File("yy.xml"), "yy_YY", {{"sonvel_url_report_service", closed}});
        UseLocale("de_DE");
    }

    void UseLocale(const std::string& locale)
    {
        Vantor::Localization::TranslationService::Initialize(translations.Path(), locale);
    }

    // What the store received, without the report path in front.
    std::vector<std::string> Received(size_t count)
    {
        EXPECT_TRUE(store.WaitForRequests(count, kWait));
        std::vector<std::string> queries;
        for (const std::string& request : store.Requests())
            queries.push_back(request.compare(0, kReportPath.size(), kReportPath) == 0 ? request.substr(kReportPath.size())
                                                                                      : request);
        return queries;
    }

    TempDirectory root;
    TempDirectory translations;
    StoreServer store;
    LogRecorder log;
};

TEST_F(ReportServiceTest, SendsTheExactQuery)
{
    ReportService::Send(ReportService::DlOk, "B000X");
    EXPECT_EQ(std::vector<std::string>{"ref=dm_ruq_dl_ok?os=linux&pcid=B000X&ruqver=1.0.9&locale=de_DE"}, Received(1));
    EXPECT_TRUE(log.WaitForLine("reftag post success: " + store.Url(kReportPath) + "ref=dm_ruq_dl_ok?os=linux&pcid=B000X",
                                kWait));
}

TEST_F(ReportServiceTest, EscapesValuesInKeyOrderAndLeavesOutEmptyOnes)
{
    ReportService::Send(ReportService::NoMedlib, {{"zeta", "x y&z"}, {"alpha", "1"}, {"empty", ""}, {"", "orphan"}});
    ReportService::Send("dm_ruq_custom", "P-1", {{"k", "v"}});
    EXPECT_EQ((std::vector<std::string>{"ref=dm_ruq_no_medlib?os=linux&ruqver=1.0.9&locale=de_DE&alpha=1&zeta=x%20y%26z",
                                        "ref=dm_ruq_custom?os=linux&pcid=P-1&ruqver=1.0.9&locale=de_DE&k=v"}),
              Received(2));
}

TEST_F(ReportServiceTest, ReportsArriveInOrderEachOnce)
{
    const std::vector<ReportService::RefTag> tags = {ReportService::DlFail, ReportService::DlErr04, ReportService::DlExpire,
                                                     ReportService::Retry02, ReportService::ItnBdcom};
    for (ReportService::RefTag tag : tags)
        ReportService::Send(tag, "B1");
    const std::vector<std::string> expected = {"dm_ruq_dl_fail", "dm_ruq_dl_err_04", "dm_ruq_dl_expire", "dm_ruq_retry_02",
                                               "dm_ruq_itn_bdcom"};
    const std::vector<std::string> received = Received(tags.size());
    ASSERT_EQ(expected.size(), received.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ("ref=" + expected[i] + "?os=linux&pcid=B1&ruqver=1.0.9&locale=de_DE", received[i]);
    ASSERT_TRUE(log.WaitForLine("dm_ruq_itn_bdcom", kWait));
    EXPECT_EQ(tags.size(), log.LinesContaining("reftag post success: ").size());
}

TEST_F(ReportServiceTest, ReportsFromManyThreadsAllArrive)
{
    std::vector<std::thread> senders;
    for (int thread = 0; thread < 4; ++thread)
        senders.emplace_back([thread] {
            for (int i = 0; i < 5; ++i)
                ReportService::Send(ReportService::DlOk, "T" + std::to_string(thread) + "-" + std::to_string(i));
        });
    for (std::thread& sender : senders)
        sender.join();

    std::vector<std::string> received = Received(20);
    EXPECT_EQ(20u, received.size());
    // Each thread's reports keep their order.
    for (int thread = 0; thread < 4; ++thread) {
        int next = 0;
        for (const std::string& query : received)
            if (query.find("pcid=T" + std::to_string(thread) + "-") != std::string::npos) {
                EXPECT_NE(std::string::npos, query.find("pcid=T" + std::to_string(thread) + "-" + std::to_string(next++) + "&"));
            }
        EXPECT_EQ(5, next);
    }
}

TEST_F(ReportServiceTest, FailedReportsAreLoggedAndDropped)
{
    UseLocale("xx_XX");
    ReportService::Send(ReportService::DlErr01, "B2");
    const std::string url = store.Url("/status/404/") + "ref=dm_ruq_dl_err_01?os=linux&pcid=B2&ruqver=1.0.9&locale=xx_XX";
    EXPECT_TRUE(log.WaitForLine("reftag post failed. curl: 22, response: 404, url: " + url, kWait));

    UseLocale("yy_YY");
    ReportService::Send(ReportService::DlErr03);
    EXPECT_TRUE(log.WaitForLine("reftag post failed. curl: 7, response: 0, url: http://127.0.0.1:", kWait));

    // Not retried: the next report is the only further request.
    UseLocale("de_DE");
    ReportService::Send(ReportService::DlOk);
    EXPECT_TRUE(log.WaitForLine("reftag post success: ", kWait));
    EXPECT_EQ(2u, store.Requests().size());
}

TEST(ReportServiceTags, NetworkErrorTypes)
{
    const std::vector<std::pair<Download::NetworkErrorType, ReportService::RefTag>> tags = {
        {Download::NoError, ReportService::DlOk},
        {Download::HostNotFound, ReportService::DlErr01},
        {Download::TimedOut, ReportService::DlErr02},
        {Download::ConnectFailed, ReportService::DlErr03},
        {Download::RangeError, ReportService::DlErr05},
        {Download::TransferInterrupted, ReportService::DlErr04},
        {Download::BadContentEncoding, ReportService::DlErr06},
        {Download::NothingReceived, ReportService::DlErr07},
        {Download::MalformedUrl, ReportService::DlErr08},
        {Download::ProxyNotFound, ReportService::DlErr09},
        {Download::LinkExpired, ReportService::DlOk},
        {Download::HttpError, ReportService::DlOk},
        {Download::UnknownError, ReportService::DlErrUn},
    };
    for (const auto& tag : tags)
        EXPECT_EQ(tag.second, ReportService::NetworkErrorToRefTag(tag.first)) << tag.first;
}

} // namespace
