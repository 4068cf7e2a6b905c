#ifndef TESTS_DOWNLOADER_QUEUEFILE_QUEUEFILESUPPORT_H
#define TESTS_DOWNLOADER_QUEUEFILE_QUEUEFILESUPPORT_H

#include "tests/downloader/download/DownloadTestSupport.h"

#include "core/data/CryptoUtility.h"
#include "tests/support/QueueFile.h"

#include <string>
#include <vector>

namespace VantorTest {

class QueueFileFixture : public DownloadFixture {
protected:
    // An audio track of the album, with `more` fields.
    static Fields Track(const std::string& pcid, const std::string& location, Fields more = {})
    {
        more.push_back({"trackType", "mp3"});
        return AlbumTrack(pcid, location, more);
    }
    // A track that the import restores as already downloaded: it never starts a transfer.
    static Fields DownloadedTrack(const std::string& pcid)
    {
        return Track(pcid, "http://127.0.0.1:9/" + pcid, {{"downloadState", "1"}});
    }
};

// An encrypted queue file, as the store hands it out, holding `tracks`.
inline void WriteQueueFile(const std::string& path, const std::vector<Fields>& tracks)
{
    QueueDocument document;
    for (const Fields& fields : tracks)
        document.regular.push_back(QueueEntry{fields, ""});
    OpenFile file(std::fopen(path.c_str(), "wb"));
    ASSERT_TRUE(file) << path;
    Vantor::Data::CryptoUtility::EncryptVLXFile(file.get(), document.Xml());
}

// The plain text of an encrypted queue file; empty when it can't be read.
inline std::string DecryptedFile(const std::string& path)
{
    std::string text;
    OpenFile file(std::fopen(path.c_str(), "rb"));
    if (file)
        Vantor::Data::CryptoUtility::DecryptVLXFile(file.get(), text);
    return text;
}

} // namespace VantorTest

#endif
