#include "downloader/model/DownloadModelTrack.h"
#include "core/net/StoreWebHost.h"
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

TEST(DownloadModelTrackTest, KeysAreTheQueueFileNames)
{
    EXPECT_STREQ("location", Track::MetadataKey::Location);
    EXPECT_STREQ("albumPrimaryArtist", Track::MetadataKey::AlbumArtist);
    EXPECT_STREQ("fileSize", Track::MetadataKey::Filesize);
    EXPECT_STREQ("PCID", Track::MetadataKey::PCID);
    EXPECT_STREQ("trackType", Track::MetadataKey::TrackType);
    EXPECT_EQ(std::string(Vantor::Net::kStoreWebHost) + "/sonvel", kStore);
    EXPECT_EQ(kStore + "/client", kClient);
}

TEST(DownloadModelTrackTest, PlainAndNamespacedValuesAreReadAndForeignOnesDropped)
{
    TrackElement element("<title>Intro</title><location>http://h/a.mp3</location>" +
                         Meta(kStore + "/PCID", "B000X1") + Meta(kClient + "/retryCount", "2") +
                         Meta("http://elsewhere.example/sonvel/genre", "Pop") +
                         Meta(kStore + "x/PCID2", "near miss") + Meta("/creator", "Artist") +
                         Meta("noslash", "none"));
    Track track(element.Get());

    EXPECT_EQ("Intro", track.GetMetadataValue(Track::MetadataKey::Title));
    EXPECT_EQ("B000X1", track.GetMetadataValue("PCID"));
    EXPECT_EQ("2", track.GetMetadataValue("retryCount"));
    EXPECT_EQ("Artist", track.GetMetadataValue("creator"));
    EXPECT_EQ("", track.GetMetadataValue("genre"));
    EXPECT_EQ("", track.GetMetadataValue("PCID2"));
    EXPECT_EQ("", track.GetMetadataValue("noslash"));
    EXPECT_EQ("http://h/a.mp3", track.GetURL());

    // Saved in key order; namespaced values stay meta, a rel of "/" and a key becomes plain.
    EXPECT_EQ("<trackList><track>" + Meta(kStore + "/PCID", "B000X1") + "<creator>Artist</creator>"
              "<location>http://h/a.mp3</location>" + Meta(kClient + "/retryCount", "2") +
              "<title>Intro</title></track></trackList>",
              Saved(track));
}

TEST(DownloadModelTrackTest, NamespaceComparisonIsExact)
{
    std::string upper = kStore;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    TrackElement element(Meta(upper + "/PCID", "x") + Meta(kStore + "//PCID", "y"));
    Track track(element.Get());
    EXPECT_EQ("", track.GetMetadataValue("PCID"));
    EXPECT_EQ("<trackList />", Saved(track));
}

TEST(DownloadModelTrackTest, LaterValueOfAKeyWins)
{
    TrackElement element("<title>A</title><title>B</title><title>C</title>" + Meta(kStore + "/title", "M") +
                         Meta(kStore + "/PCID", "1") + "<PCID>2</PCID>");
    Track track(element.Get());
    EXPECT_EQ("M", track.GetMetadataValue("title"));
    EXPECT_EQ("2", track.GetMetadataValue("PCID"));
    // The last one also decides how it is written back.
    EXPECT_EQ("<trackList><track><PCID>2</PCID>" + Meta(kStore + "/title", "M") + "</track></trackList>",
              Saved(track));
}

TEST(DownloadModelTrackTest, EmptyElementsAreNotStored)
{
    TrackElement element("<album/><creator></creator>" + Meta(kStore + "/PCID", "") + "<meta/>" +
                         "<title><b>bold</b></title><duration>180</duration>");
    Track track(element.Get());
    EXPECT_EQ("", track.GetMetadataValue("album"));
    EXPECT_EQ("", track.GetMetadataValue("creator"));
    EXPECT_EQ("", track.GetMetadataValue("PCID"));
    EXPECT_EQ("", track.GetMetadataValue("title"));
    EXPECT_EQ("<trackList><track><duration>180</duration></track></trackList>", Saved(track));
}

TEST(DownloadModelTrackTest, MetaWithAnEmptyKeyIsNotKept)
{
    // Written back, an empty key would make an element without a name.
    TrackElement element(Meta("", "a") + Meta("/", "b") + Meta(kStore + "/", "c") + "<title>t</title>");
    Track track(element.Get());
    EXPECT_EQ("<trackList><track><title>t</title></track></trackList>", Saved(track));
}

TEST(DownloadModelTrackTest, MetaWithTextButNoRelFailsTheLoad)
{
    TrackElement element("<title>t</title><meta>orphan</meta>");
    EXPECT_THROW(Track track(element.Get()), std::invalid_argument);
    EXPECT_THROW(DownloadModel::LoadTrack(element.Get()), std::invalid_argument);
}

TEST(DownloadModelTrackTest, Latin1AndUTF8ValuesAreKeptAsTheyCameAndSavedAsUTF8)
{
    Track track(nullptr);
    const std::string latin1 = "\xC9t\xE9";                 // "Été" in Latin-1
    const std::string utf8 = "\xC3\x89t\xC3\xA9";           // the same in UTF-8
    track.SetMetadata("title", latin1);
    track.SetMetadata("album", kStore, utf8);
    track.SetMetadata(Track::MetadataKey::Location, "\xE9/x.mp3");
    EXPECT_EQ(latin1, track.GetMetadataValue("title"));
    EXPECT_EQ(utf8, track.GetMetadataValue("album"));
    EXPECT_EQ("\xC3\xA9/x.mp3", track.GetURL());
    EXPECT_EQ("<trackList><track>" + Meta(kStore + "/album", utf8) + "<location>\xC3\xA9/x.mp3</location>"
              "<title>" + utf8 + "</title></track></trackList>",
              Saved(track));

    // A document read back gives its bytes as they stand, UTF-8 or Latin-1.
    TrackElement element("<title>" + utf8 + "</title><album>" + latin1 + "</album>");
    Track loaded(element.Get());
    EXPECT_EQ(utf8, loaded.GetMetadataValue("title"));
    EXPECT_EQ(latin1, loaded.GetMetadataValue("album"));
    EXPECT_EQ("<trackList><track><album>" + utf8 + "</album><title>" + utf8 + "</title></track></trackList>",
              Saved(loaded));
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

TEST(DownloadModelTrackTest, EveryElementWithTextSurvivesALoadAndSave)
{
    TrackElement element("<zeta>z</zeta><Alpha>A</Alpha><alpha>a</alpha><trackNum>7</trackNum>" +
                         Meta(kStore + "/downloadState", "1"));
    Track track(element.Get());
    // Byte-wise key order: upper case before lower case.
    EXPECT_EQ("<trackList><track><Alpha>A</Alpha><alpha>a</alpha>" + Meta(kStore + "/downloadState", "1") +
              "<trackNum>7</trackNum><zeta>z</zeta></track></trackList>",
              Saved(track));
}

TEST(DownloadModelTrackTest, EmptyTrackWritesNothing)
{
    Track track(nullptr);
    EXPECT_EQ("", track.GetURL());
    EXPECT_EQ("<trackList />", Saved(track));
    TrackElement element("");
    EXPECT_EQ("<trackList />", Saved(*DownloadModel::LoadTrack(element.Get())));
}

TEST(DownloadModelTrackTest, SavingTwiceAppendsTwoTracks)
{
    Track track(nullptr);
    track.SetMetadata("title", "t");
    TiXmlElement trackList("trackList");
    track.Save(&trackList);
    track.SetMetadata("title", "u");
    track.Save(&trackList);
    std::ostringstream out;
    out << trackList;
    EXPECT_EQ("<trackList><track><title>t</title></track><track><title>u</title></track></trackList>", out.str());
}
