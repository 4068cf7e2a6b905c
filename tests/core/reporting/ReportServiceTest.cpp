#include "core/reporting/ReportService.h"

#include "core/localization/TranslationService.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <thread>

using Vantor::Reporting::ReportService;
using namespace VantorTest;

namespace {

const std::chrono::seconds kWait(10);
const std::string kReportPath = "/gp/sonvel/ruq-result.html/";

// The store stand-in, with the report address of the locale de_DE pointed at it.
class ReportServiceTest : public ::testing::Test {
protected:
    ReportServiceTest() : store(root.Path()) { UseReportAddress(store.Url(kReportPath)); }

    void UseReportAddress(const std::string& url)
    {
        WriteTranslationFile(translations.File("de.xml"), "de_DE", {{"sonvel_url_report_service", url}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
    }

    // The queries the store received, without the report path in front.
    std::vector<std::string> Received(size_t count)
    {
        EXPECT_TRUE(store.WaitForRequests(count, kWait));
        std::vector<std::string> queries;
        for (const std::string& request : store.Requests())
            queries.push_back(request.substr(request.find(kReportPath) == 0 ? kReportPath.size() : 0));
        return queries;
    }

    TempDirectory root;
    TempDirectory translations;
    StoreServer store;
    LogRecorder log;
};

TEST_F(ReportServiceTest, SendsTheExactQueriesInOrder)
{
    ReportService::Send(ReportService::DlOk, "B000X");
    ReportService::Send(ReportService::NoMedlib, {{"zeta", "x y&z"}, {"alpha", "1"}, {"empty", ""}, {"", "orphan"}});
    ReportService::Send("dm_ruq_custom", "P-1", {{"k", "v"}});
    for (ReportService::RefTag tag : {ReportService::DlFail, ReportService::DlErr04, ReportService::DlExpire,
                                      ReportService::Retry02, ReportService::ItnBdcom})
        ReportService::Send(tag, "B1");
    const std::string tail = "?os=linux&pcid=B1&ruqver=1.0.9&locale=de_DE";
    EXPECT_EQ((std::vector<std::string>{"ref=dm_ruq_dl_ok?os=linux&pcid=B000X&ruqver=1.0.9&locale=de_DE",
                                        "ref=dm_ruq_no_medlib?os=linux&ruqver=1.0.9&locale=de_DE&alpha=1&zeta=x%20y%26z",
                                        "ref=dm_ruq_custom?os=linux&pcid=P-1&ruqver=1.0.9&locale=de_DE&k=v",
                                        "ref=dm_ruq_dl_fail" + tail, "ref=dm_ruq_dl_err_04" + tail,
                                        "ref=dm_ruq_dl_expire" + tail, "ref=dm_ruq_retry_02" + tail,
                                        "ref=dm_ruq_itn_bdcom" + tail}),
              Received(8));
    ASSERT_TRUE(log.WaitForLine("dm_ruq_itn_bdcom"));
    EXPECT_EQ(8u, log.LinesContaining("reftag post success: ").size());
    EXPECT_EQ(1u, log.LinesContaining("reftag post success: " + store.Url(kReportPath) +
                                      "ref=dm_ruq_dl_ok?os=linux&pcid=B000X").size());
}

TEST_F(ReportServiceTest, ReportsFromManyThreadsAllArriveInTheirOrder)
{
    std::vector<std::thread> senders;
    for (int thread = 0; thread < 4; ++thread)
        senders.emplace_back([thread] {
            for (int i = 0; i < 5; ++i)
                ReportService::Send(ReportService::DlOk, "T" + std::to_string(thread) + "-" + std::to_string(i));
        });
    for (std::thread& sender : senders)
        sender.join();

    const std::vector<std::string> received = Received(20);
    EXPECT_EQ(20u, received.size());
    for (int thread = 0; thread < 4; ++thread) {
        const std::string pcid = "pcid=T" + std::to_string(thread) + "-";
        int next = 0;
        for (const std::string& query : received)
            if (query.find(pcid) != std::string::npos) {
                EXPECT_NE(std::string::npos, query.find(pcid + std::to_string(next++) + "&"));
            }
        EXPECT_EQ(5, next);
    }
}

TEST_F(ReportServiceTest, FailedReportsAreLoggedAndDropped)
{
    UseReportAddress(store.Url("/status/404/"));
    ReportService::Send(ReportService::DlErr01, "B2");
    EXPECT_TRUE(log.WaitForLine("reftag post failed. curl: 22, response: 404, url: " + store.Url("/status/404/") +
                                    "ref=dm_ruq_dl_err_01?os=linux&pcid=B2&ruqver=1.0.9&locale=de_DE"));
    UseReportAddress("http://127.0.0.1:" + std::to_string(FreeLocalPort()) + kReportPath);
    ReportService::Send(ReportService::DlErr03);
    EXPECT_TRUE(log.WaitForLine("reftag post failed. curl: 7, response: 0, url: http://127.0.0.1:"));

    // Not retried: the next report is the only further request.
    UseReportAddress(store.Url(kReportPath));
    ReportService::Send(ReportService::DlOk);
    EXPECT_TRUE(log.WaitForLine("reftag post success: "));
    EXPECT_EQ(2u, store.Requests().size());
}

// Clearing stops the process's report worker for good; each test runs in a process of its own.
TEST_F(ReportServiceTest, ClearDropsQueuedReportsAndLaterOnes)
{
    // Reports stall at this address, so the second one is still queued when the queue is cleared.
    UseReportAddress(store.Url("/stall/1000/"));
    ReportService::Send("dm_ruq_first", "", {});
    ReportService::Send("dm_ruq_queued", "", {});
    ASSERT_TRUE(store.WaitForRequests(1, kWait));
    ReportService::ClearPending();
    ReportService::Send("dm_ruq_after", "", {});

    EXPECT_EQ(std::vector<std::string>{"/stall/1000/ref=dm_ruq_first?os=linux&ruqver=1.0.9&locale=de_DE"}, store.Requests());
    EXPECT_TRUE(log.LinesContaining("dm_ruq_queued").empty());
}

} // namespace
