#include "downloader/model/DownloadModelTrack.h"
#include "downloader/model/StoreNamespace.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <sstream>
#include <stdexcept>

using Vantor::DigitalMedia::MusicClient::Downloader::DownloadModel;
using Vantor::DigitalMedia::MusicClient::Downloader::StoreNamespace;
typedef DownloadModel::Track Track;

namespace {

const std::string kStore = StoreNamespace::Store();
const std::string kClient = StoreNamespace::Client();
const std::string kLatin1 = "\xC9t\xE9";       // "Été" in Latin-1
const std::string kUtf8 = "\xC3\x89t\xC3\xA9"; // the same in UTF-8

// A parsed <track> element, as a queue file gives it.
class TrackElement {
public:
    explicit TrackElement(const std::string& children)
    {
        document.Parse(("<track>" + children + "</track>").c_str());
        EXPECT_FALSE(document.Error()) << document.ErrorDesc();
    }
    TiXmlElement* Get() { return document.RootElement(); }

private:
    TiXmlDocument document;
};

std::string Meta(const std::string& rel, const std::string& value)
{
    return "<meta rel=\"" + rel + "\">" + value + "</meta>";
}

// What the track writes into an empty track list, in stream form.
std::string Saved(Track& track)
{
    TiXmlElement trackList("trackList");
    track.Save(&trackList);
    std::ostringstream out;
    out << trackList;
    return out.str();
}

} // namespace

TEST(DownloadModelTrackTest, ReadsAndWritesBackInKeyOrder)
{
    std::string upperStore = kStore;
    for (char& c : upperStore) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    const std::string encodings = "<title>" + kUtf8 + "</title><album>" + kLatin1 + "</album>" + Meta(kStore + "/artist", kLatin1);
    const std::vector<std::pair<std::string, std::string>> cases = {
        // The two store namespaces are kept as meta; a rel of "/" and a key becomes plain; any
        // other namespace, a near miss, another letter case or an empty key is dropped.
        {"<title>Intro</title><location>http://h/a.mp3</location>" + Meta(kStore + "/PCID", "B000X1") +
             Meta(kClient + "/retryCount", "2") + Meta("http://elsewhere.example/sonvel/genre", "Pop") +
             Meta(kStore + "x/PCID2", "near miss") + Meta("/creator", "Artist") + Meta("noslash", "none") +
             Meta(upperStore + "/PCID3", "x") + Meta(kStore + "//PCID4", "y") + Meta("", "a") + Meta("/", "b") +
             Meta(kStore + "/", "c"),
         Meta(kStore + "/PCID", "B000X1") + "<creator>Artist</creator><location>http://h/a.mp3</location>" +
             Meta(kClient + "/retryCount", "2") + "<title>Intro</title>"},
        // Byte-wise key order: upper case before lower case.
        {"<zeta>z</zeta><Alpha>A</Alpha><alpha>a</alpha>" + Meta(kStore + "/downloadState", "1"),
         "<Alpha>A</Alpha><alpha>a</alpha>" + Meta(kStore + "/downloadState", "1") + "<zeta>z</zeta>"},
        // The later value of a key wins, and decides how it is written back.
        {"<title>A</title><title>B</title>" + Meta(kStore + "/title", "M") + Meta(kStore + "/PCID", "1") + "<PCID>2</PCID>",
         "<PCID>2</PCID>" + Meta(kStore + "/title", "M")},
        // UTF-8 and Latin-1 values are kept as they came and written back as UTF-8.
        {encodings,
         "<album>" + kUtf8 + "</album>" + Meta(kStore + "/artist", kUtf8) + "<title>" + kUtf8 + "</title>"},
        // Elements without text are not stored.
        {"<album/><creator></creator>" + Meta(kStore + "/PCID", "") + "<meta/><title><b>bold</b></title><n>180</n>",
         "<n>180</n>"},
    };
    for (const auto& c : cases) {
        TrackElement element(c.first);
        EXPECT_EQ("<trackList><track>" + c.second + "</track></trackList>", Saved(*DownloadModel::LoadTrack(element.Get())))
            << c.first;
    }
    TrackElement element(cases[0].first);
    Track track(element.Get());
    EXPECT_EQ("B000X1", track.GetMetadataValue("PCID"));
    EXPECT_EQ("2", track.GetMetadataValue("retryCount"));
    EXPECT_EQ("", track.GetMetadataValue("genre"));
    EXPECT_EQ("http://h/a.mp3", track.GetURL());
    TrackElement latin1(encodings);
    EXPECT_EQ(kLatin1, Track(latin1.Get()).GetMetadataValue("album"));
    track.SetMetadata(Track::MetadataKey::Location, "\xE9/x.mp3");
    EXPECT_EQ("\xC3\xA9/x.mp3", track.GetURL());

    TrackElement empty("");
    EXPECT_EQ("<trackList />", Saved(*DownloadModel::LoadTrack(empty.Get())));
}

TEST(DownloadModelTrackTest, MetaWithTextButNoRelFailsTheLoad)
{
    TrackElement element("<title>t</title><meta>orphan</meta>");
    EXPECT_THROW(DownloadModel::LoadTrack(element.Get()), std::invalid_argument);
}

TEST(DownloadModelTrackTest, MarkupCharactersSurviveASaveAndLoad)
{
    const std::string value = "Rock & Roll <Live> \"At\" 'Home'";
    Track first(nullptr);
    first.SetMetadata("title", value);
    first.SetMetadata("PCID", kClient, value);

    TiXmlDocument document;
    document.Parse(Saved(first).c_str());
    ASSERT_FALSE(document.Error()) << document.ErrorDesc();
    Track second(document.RootElement()->FirstChildElement("track"));
    EXPECT_EQ(value, second.GetMetadataValue("title"));
    EXPECT_EQ(value, second.GetMetadataValue("PCID"));
    EXPECT_EQ(Saved(first), Saved(second));
}
