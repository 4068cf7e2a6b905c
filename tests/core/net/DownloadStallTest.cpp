// Kept apart from the other transfer tests: it lasts the full 30 seconds of the stall limit.
#include "core/net/Download.h"

#include "tests/core/net/TransferTestSupport.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>

using Vantor::Net::Download;
using namespace VantorTest;

TEST(DownloadStallTest, StalledBodyEndsAsTimeOut)
{
    TempDirectory root;
    TempDirectory translations;
    UseTranslations(translations.Path(), "en_US");
    StoreServer store(root.Path());

    Download download(store.Url("/stall/100000").c_str(), 0);
    DownloadIntoFile(download, root.File("out.bin"));

    EXPECT_EQ(Download::NetworkError, download.GetState());
    EXPECT_EQ(Download::TimedOut, download.networkErrorType);
    EXPECT_EQ(CURLE_OPERATION_TIMEDOUT, download.lastCurlCode);
    EXPECT_EQ("Can't connect. Please contact customer service.", download.GetStateString());
    EXPECT_EQ(std::string(100, 's'), ReadFile(root.File("out.bin")));
}
