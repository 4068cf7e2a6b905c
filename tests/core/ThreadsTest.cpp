// Work on several threads: the worker thread, and the codec and translations from many threads.
#include "core/data/CryptoUtility.h"
#include "core/localization/TranslationService.h"
#include "core/threading/ServerThread.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <stdexcept>

using Vantor::Threading::ServerThread;
using Vantor::Threading::WorkMessage;

namespace {

typedef std::vector<std::string> Entries;

// Notes "empty" for every WorkQueueEmptySignal; the journal outlives the server and its worker.
class ServerThreadTest : public ::testing::Test, public sigslot::has_slots<sigslot::multi_threaded_local> {
protected:
    ServerThreadTest() { server->WorkQueueEmptySignal.connect(this, &ServerThreadTest::OnQueueEmpty); }
    ~ServerThreadTest() override
    {
        server.reset();
        disconnect_all();
    }
    void OnQueueEmpty() { journal.Add("empty"); }

    // Notes each call as "<name>:<message>" (" (caller)" on the test's thread). A blocking one's
    // first Run lasts, like a download, until the test notes "<name>:release".
    ServerThread::WorkItem Probe(const std::string& name, bool blocks = false, const WorkMessage* throwsOn = nullptr)
    {
        return [=](const WorkMessage& message) {
            const std::string what = &message == &WorkMessage::Run ? "run" : &message == &WorkMessage::Pause ? "pause" : "cancel";
            const std::string note = name + ":" + what + (std::this_thread::get_id() == testThread ? " (caller)" : "");
            const bool firstRun = note == name + ":run" && journal.Count(note) == 0;
            journal.Add(note);
            if (&message == throwsOn)
                throw std::runtime_error(name + " failed");
            if (blocks && firstRun && journal.WaitFor(name + ":release"))
                journal.Add(name + ":returned");
        };
    }

    VantorTest::Journal journal;
    const std::thread::id testThread = std::this_thread::get_id();
    std::unique_ptr<ServerThread> server = std::make_unique<ServerThread>();
};

} // namespace

// Pause holds the queue, also for work that comes in meanwhile; Resume runs the paused item
// again on the caller beside the worker's way through the queue. Items that throw are dropped.
TEST_F(ServerThreadTest, PauseResumeAndCancelCurrentTellTheItemUnderWayOnTheCaller)
{
    for (const auto& item :
         {Probe("a", true, &WorkMessage::Pause), ServerThread::WorkItem(), Probe("b", false, &WorkMessage::Run), Probe("c", true)})
        server->EnqueueWork(item);
    server->Start();
    ASSERT_TRUE(journal.WaitFor("a:run"));
    EXPECT_NO_THROW(server->Pause());
    server->Pause();
    journal.Add("a:release");
    ASSERT_TRUE(journal.WaitFor("a:returned"));
    server->EnqueueWork(Probe("d"));
    journal.Add("resuming");
    EXPECT_NO_THROW(server->Resume());
    ASSERT_TRUE(journal.WaitFor("c:run"));
    server->CancelCurrent();
    journal.Add("c:release");
    ASSERT_TRUE(journal.WaitFor("empty"));
    Entries entries = journal.Entries();
    ASSERT_EQ(1, std::count(entries.begin(), entries.end(), "a:run (caller)"));
    entries.erase(std::find(entries.begin(), entries.end(), "a:run (caller)"));
    EXPECT_EQ((Entries{"a:run", "a:pause (caller)", "a:release", "a:returned", "resuming", "b:run", "c:run", "c:cancel (caller)",
                       "c:release", "c:returned", "d:run", "empty"}),
              entries);
}

// Many threads at once: each cipher round trip holds, also on the process's first cipher call
// (which loads the providers), and every text read while one thread reads the translations
// again is a locale's text or the default.
TEST(Threads, CipherAndTranslationsServeManyThreadsAtOnce)
{
    using Vantor::Localization::TranslationService;
    VantorTest::TempDirectory dir;
    for (const std::string locale : {"de", "fr"})
        VantorTest::WriteTranslationFile(dir.File(locale + ".xml"), locale, {{"k", locale}});
    TranslationService::Initialize(dir.Path(), "de");
    std::atomic<int> stop(0), reading(0), mismatches(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                const std::string plain(static_cast<size_t>(t * 13 + round), static_cast<char>(0x80 + t));
                std::string cipherText, back;
                Vantor::Data::CryptoUtility::EncryptString(plain, cipherText);
                Vantor::Data::CryptoUtility::DecryptString(cipherText, back);
                mismatches += back != plain;
            }
            while (t == 0 && reading < 5)
                std::this_thread::yield();
            for (int round = 0; t == 0 && round < 60; ++round)
                TranslationService::Initialize(dir.Path(), round % 3 == 0 ? "fr" : round % 3 == 1 ? "it" : "de");
            for (stop |= t == 0, ++reading; !stop;) {
                const std::string text = TranslationService::Instance()->Translate("k", "-");
                mismatches += text != "de" && text != "fr" && text != "-";
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, mismatches);
}
