#include "core/data/CryptoUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/StoreNamespace.h"

#include "tests/support/TempDirectory.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

using namespace Vantor::DigitalMedia::MusicClient::Downloader;
using Vantor::Net::Download;

namespace {

// The plain text of the queue file the model saves, which it writes directly.
std::string Saved(const DownloadModel& model)
{
    VantorTest::OpenFile file(std::tmpfile());
    model.Save(file.get());
    std::string text;
    Vantor::Data::CryptoUtility::DecryptVLXFile(file.get(), text);
    return text;
}

// What the queue file held when it was a TinyXML tree of the tracks, printed in stream form.
std::string Printed(const DownloadModel& model)
{
    TiXmlDocument document;
    document.LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlNode* trackList = document.LinkEndChild(new TiXmlElement("playlist"))->LinkEndChild(new TiXmlElement("trackList"));
    for (unsigned i = 0; i < model.CountDownloads(); ++i) model.GetDownloadAt(i)->GetTrack()->Save(trackList->ToElement());
    TiXmlPrinter printer;
    printer.SetStreamPrinting();
    document.Accept(&printer);
    return printer.Str();
}

} // namespace

TEST(QueueSaveTest, WritesByteForByteWhatTheTreeOfTheQueuePrints)
{
    VantorTest::ScopedHome home;
    DownloadModel model(LinuxFilesystemUtility::NewInstance());
    EXPECT_EQ(Printed(model), Saved(model)); // an empty queue: <trackList />
    // Markup, entities, Latin-1 and UTF-8 text, an empty value, control characters and DEL.
    const std::vector<std::string> values = {"Tom & Jerry <live> \"q\" 'a' &amp; &#x41;", "\xC9t\xE9 caf\xE9",
                                             "\xC3\x89t\xC3\xA9", "", "a\x01\t\n\r\x1F\x7F b"};
    for (int state = Download::Waiting; state <= Download::RetryingImport; ++state) {
        const DownloadModel::DownloadPtr download(new DownloadModel::Download(model, nullptr));
        const auto track = download->GetTrack();
        track->SetMetadata("expired", "1"); // keeps it off the worker
        track->SetMetadata("title", values[state % values.size()]);
        track->SetMetadata("creator", StoreNamespace::Store(), values[(state + 1) % values.size()]);
        track->SetMetadata("PCID", StoreNamespace::Client(), "B" + std::to_string(state));
        track->SetMetadata(state % 2 ? "caf\xE9" : "a\"b", state % 3 ? "ns'" : "", values[(state + 2) % values.size()]);
        model.AddDownload(download);
        download->SetState(static_cast<Download::State>(state));
    }
    const std::string saved = Saved(model);
    EXPECT_EQ(Printed(model), saved);
    for (const char* part : {"&amp;amp;", "&#x01;&#x09;&#x0A;&#x0D;&#x1F;\x7F b", "caf\xC3\xA9<", "<title></title>",
                             "rel='ns&apos;/a&quot;b'", "downloadState\">11<"})
        EXPECT_NE(std::string::npos, saved.find(part)) << part;
}
