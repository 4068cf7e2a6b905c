// Apart from the other report tests: clearing stops the process's report worker for good.
#include "core/reporting/ReportService.h"

#include "core/localization/TranslationService.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

using Vantor::Reporting::ReportService;
using namespace VantorTest;

TEST(ReportServiceClear, DropsQueuedReportsAndLaterOnes)
{
    TempDirectory root;
    TempDirectory translations;
    StoreServer store(root.Path());
    // Reports stall at this address, so the second one is still queued when the queue is cleared.
    WriteTranslationFile(translations.File("de.xml"), "de_DE", {{"sonvel_url_report_service", store.Url("/stall/1000/")}});
    Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
    LogRecorder log;

    ReportService::Send("dm_ruq_first", "", {});
    ReportService::Send("dm_ruq_queued", "", {});
    ASSERT_TRUE(store.WaitForRequests(1, std::chrono::seconds(10)));
    ReportService::ClearPending();
    ReportService::Send("dm_ruq_after", "", {});

    EXPECT_EQ(std::vector<std::string>{"/stall/1000/ref=dm_ruq_first?os=linux&ruqver=1.0.9&locale=de_DE"}, store.Requests());
    EXPECT_TRUE(log.LinesContaining("dm_ruq_queued").empty());
}
