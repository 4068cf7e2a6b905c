// Failed transfers tried again after five-second pauses: each test here waits out at least
// one of them.
#include "tests/downloader/download/DownloadTestSupport.h"

#include "downloader/model/DownloadModelTrack.h"

#include <boost/filesystem.hpp>

using namespace VantorTest;
using Vantor::Net::Download;

namespace {

typedef DownloadFixture RetryTest;

TEST_F(RetryTest, CutBodyIsResumedAfterOnePauseThatCantBePaused)
{
    const std::string contents = ServeFile("a.mp3", 200 * 1000);
    const DownloadPtr download = NewDownload(AlbumTrack("P1", store.Url("/cut-once/a.mp3")));
    model->AddDownload(download);
    Expect("P1 state 7");
    download->Pause();
    EXPECT_EQ(Download::Retrying, download->GetState());
    Expect("P1 finished 1");

    EXPECT_EQ((Entries{"P1 state 2", "P1 state 9", "P1 state 7", "P1 state 2", "P1 state 1"}), events->With("P1 state "));
    EXPECT_EQ(contents, ReadFile(download->GetLocalFilename()));
    EXPECT_EQ(static_cast<long long>(contents.size() - contents.size() / 2), download->bytesReceived);
    EXPECT_TRUE(log.LinesContaining("Retry:").empty());
    EXPECT_EQ((Entries{"dm_ruq_dl_ok P1", "dm_ruq_retry_01 P1"}), Reports());
}

TEST_F(RetryTest, ThirdFailureEndsTheRunWithOneFailureReport)
{
    const DownloadPtr download = NewDownload(AlbumTrack("P1", store.Url("/status/500")));
    model->AddDownload(download);
    Expect("P1 finished 9");

    EXPECT_EQ((Entries{"P1 state 2", "P1 state 9", "P1 state 7", "P1 state 2", "P1 state 9", "P1 state 7",
                       "P1 state 2", "P1 state 9"}),
              events->With("P1 state "));
    EXPECT_EQ(1, events->journal.Count("P1 finished 9"));
    EXPECT_EQ(3u, DownloadRequests().size());
    EXPECT_EQ("3", download->GetTrack()->GetMetadataValue("retryCount"));
    EXPECT_EQ((Entries{"Download failed. Retry: 1 of 2", "Download failed. Retry: 2 of 2"}), log.LinesContaining("Retry:"));
    EXPECT_EQ((Entries{"dm_ruq_dl_fail P1", "dm_ruq_dl_err500 P1"}), Reports());
}

TEST_F(RetryTest, CancelDuringThePauseEndsTheRunWhenThePauseIsOver)
{
    const DownloadPtr download = NewDownload(AlbumTrack("P1", store.Url("/status/500")));
    model->AddDownload(download);
    Expect("P1 state 7");
    download->Cancel();
    EXPECT_EQ(Download::Canceled, download->GetState());
    EXPECT_EQ(0, events->journal.Count("P1 finished 5"));
    Expect("P1 finished 5");
    Expect("queue-finished");

    EXPECT_EQ(1, events->journal.Count("P1 finished 5"));
    EXPECT_EQ(1u, DownloadRequests().size());
    EXPECT_FALSE(boost::filesystem::exists(MusicFolder() + "AC_DC/Live_ 1991/.vlx(1).tmp"));
    EXPECT_TRUE(Reports().empty());
}

} // namespace
