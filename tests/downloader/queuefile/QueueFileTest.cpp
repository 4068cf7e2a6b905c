// Queue files through the application: import, the saved queue and its restore.
#include "tests/downloader/queuefile/QueueFileSupport.h"

#include "downloader/app/UtilityPaths.h"
#include "core/settings/UtilityPreferences.h"
#include "downloader/app/UtilityQueue.h"

#include <boost/filesystem.hpp>

#include <sys/resource.h>
#include <csignal>

using namespace VantorTest;
namespace Utility = Vantor::DigitalMedia::MusicClient::Downloader::Utility;

namespace {

class QueueFileTest : public QueueFileFixture {
protected:
    QueueFileTest() { Utility::VLXEnqueuedSignal().connect([this] { ++enqueued; }); }

    bool Enqueue(const std::string& path) { return Utility::EnqueueVLXFromFilename(path.c_str(), *model, nullptr); }

    int enqueued = 0;
};

bool Exists(const std::string& path)
{
    return boost::filesystem::exists(path);
}

long EntriesIn(const std::string& directory)
{
    return static_cast<long>(std::distance(boost::filesystem::directory_iterator(directory),
                                           boost::filesystem::directory_iterator()));
}

// Runs in the death test's child: adds the queue file at `more`, then saves under a file-size
// limit that the new queue exceeds. Prints whether the tracks were added, the limit set, the
// save failed and the saved queue kept `before`, then how many entries the settings folder
// holds, and ends the process.
void SaveUnderFileSizeLimit(DownloadModel& model, const std::string& more, const std::string& before)
{
    FILE* file = std::fopen(more.c_str(), "rb");
    const bool added = file && model.AddTracks(file);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {8 * 1024, 8 * 1024};
    const bool limited = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    const bool failed = !Utility::SaveDownloadQueue(model);
    const bool kept = ReadFile(Utility::DownloadQueueFilename()) == before;
    std::fprintf(stderr, "%d%d%d%d %ld", added, limited, failed, kept, EntriesIn(Utility::GetSettingsDirectory()));
    std::_Exit(0);
}

} // namespace

TEST_F(QueueFileTest, ImportSavesTheQueueWhichRestoresItAndOnlyTheImportedFileIsDeleted)
{
    const std::string purchase = home.File("purchase.vlx");
    WriteQueueFile(purchase, {DownloadedTrack("P1"), DownloadedTrack("P2")});

    ASSERT_TRUE(Enqueue(purchase));
    EXPECT_EQ(QueuedPCIDs(*model), (Entries{"P1", "P2"}));
    EXPECT_EQ(enqueued, 1);
    EXPECT_FALSE(Exists(purchase));
    const std::string saved = Utility::DownloadQueueFilename();
    EXPECT_EQ(DecryptedFile(saved).compare(0, 5, "<?xml"), 0);

    // The next start restores the saved queue through the same import and keeps the file.
    NewModel();
    ASSERT_TRUE(Enqueue(saved));
    EXPECT_EQ(QueuedPCIDs(*model), (Entries{"P1", "P2"}));
    EXPECT_EQ(enqueued, 2);
    EXPECT_TRUE(Exists(saved));
    EXPECT_EQ(DecryptedFile(saved).compare(0, 5, "<?xml"), 0);
}

TEST_F(QueueFileTest, FailedImportWithoutParentChangesNothingAndShowsNothing)
{
    const std::string notQueue = home.File("notes.vlx");
    WriteFile(notQueue, "this is not a queue file\n");
    for (const std::string& path : {notQueue, home.File("missing.vlx")}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(Enqueue(path));
    }
    EXPECT_EQ(model->CountDownloads(), 0u);
    EXPECT_EQ(enqueued, 0);
    EXPECT_TRUE(Exists(notQueue));
    EXPECT_FALSE(Exists(Utility::DownloadQueueFilename()));
}

// A save cut short (here by a file-size limit, as a full disk would) reports failure and
// leaves the saved queue as it was, with no temporary file beside it.
TEST_F(QueueFileTest, FailedSaveKeepsTheSavedQueueByteForByte)
{
    const std::string purchase = home.File("purchase.vlx");
    WriteQueueFile(purchase, {DownloadedTrack("P1")});
    ASSERT_TRUE(Enqueue(purchase));
    const std::string saved = Utility::DownloadQueueFilename();
    const std::string before = ReadFile(saved);
    ASSERT_FALSE(before.empty());

    std::vector<Fields> many;
    for (int i = 0; i < 200; ++i)
        many.push_back(DownloadedTrack("M" + std::to_string(i)));
    WriteQueueFile(purchase, many);
    const long entries = EntriesIn(Utility::GetSettingsDirectory());
    EXPECT_EXIT(SaveUnderFileSizeLimit(*model, purchase, before), ::testing::ExitedWithCode(0),
                "1111 " + std::to_string(entries) + "$");
}
