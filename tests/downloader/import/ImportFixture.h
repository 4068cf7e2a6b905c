#ifndef TESTS_DOWNLOADER_IMPORT_IMPORTFIXTURE_H
#define TESTS_DOWNLOADER_IMPORT_IMPORTFIXTURE_H

#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/model/DownloadModel.h"
#include "downloader/model/DownloadModelDownload.h"
#include "tests/support/DatabaseRows.h"
#include "tests/support/QueueFile.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VantorTest {

typedef Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel DownloadModel;
typedef DownloadModel::DownloadPtr DownloadPtr;

// The encrypted form of a queue file's text, as the store and the saved queue have it.
inline std::string Encrypted(const std::string& text)
{
    OpenFile file(std::tmpfile());
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), text);
    return ContentsOf(file.get());
}

inline std::string Decrypted(const std::string& text)
{
    OpenFile file = TemporaryFileWith(text);
    std::string plain;
    Vantor::Data::CryptoUtility::DecryptVLXFile(file.get(), plain);
    return plain;
}

// A fresh home and a model on it. Declared in this order, the model goes before its home.
class ModelHome {
public:
    ModelHome() = default;
    explicit ModelHome(const std::function<void(const ScopedHome&)>& prepare) { prepare(home); }

    DownloadModel& Model()
    {
        if (!model) model.reset(new DownloadModel(Vantor::DigitalMedia::MusicClient::Downloader::LinuxFilesystemUtility::NewInstance()));
        return *model;
    }

    bool Import(const std::string& contents)
    {
        OpenFile file = TemporaryFileWith(contents);
        return Model().AddTracks(file.get());
    }

    std::vector<std::string> QueuedPCIDs()
    {
        std::vector<std::string> pcids;
        for (unsigned i = 0; i < Model().CountDownloads(); ++i) pcids.push_back(Model().GetDownloadAt(i)->GetPCID());
        return pcids;
    }

    // "title|pcid|position|status|filename" for every playlist track, playlist by playlist.
    std::vector<std::string> PlaylistRows() const
    {
        return DatabaseRows(home.File(".vantormp3/vantormp3.db"),
                            "SELECT p.name, t.pcid, t.udo, t.status, t.filename FROM playlist p "
                            "JOIN playlist_track t ON t.playlist_id = p.id ORDER BY p.id, t.udo, t.id");
    }

    ScopedHome home;

private:
    std::unique_ptr<DownloadModel> model;
};

// Its music folder is a plain file: every queued download ends at once with a local error,
// without a transfer, so a test sees only what the import did.
inline void BlockMusicFolder(const ScopedHome& home)
{
    WriteFile(home.File("Vantor MP3"), "blocked\n");
}

// Calls back for every download the model announces as added, on the adding thread.
class AddedDownloads : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    AddedDownloads(DownloadModel& model, std::function<void(DownloadPtr)> seen) : seen(std::move(seen))
    {
        model.DownloadAddedSignal.connect(this, &AddedDownloads::OnAdded);
    }
    ~AddedDownloads() override { disconnect_all(); }

private:
    void OnAdded(DownloadPtr download) { seen(download); }

    std::function<void(DownloadPtr)> seen;
};

// Notes "finished <pcid>" in a journal for every download the model announces as finished.
class FinishedDownloads : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    FinishedDownloads(DownloadModel& model, Journal& journal) : journal(journal)
    {
        model.DownloadFinishedSignal.connect(this, &FinishedDownloads::OnFinished);
    }
    ~FinishedDownloads() override { disconnect_all(); }

    // Waits until `count` downloads have finished; false when the wait limit ran out.
    bool WaitForCount(size_t count)
    {
        return journal.WaitUntil([count](const std::vector<std::string>& entries) { return entries.size() >= count; });
    }

private:
    void OnFinished(const DownloadPtr download) { journal.Add("finished " + download->GetPCID()); }

    Journal& journal;
};

} // namespace VantorTest

#endif
