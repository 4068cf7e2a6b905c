#include "tests/support/QueueFile.h"

#include "core/net/StoreWebHost.h"

namespace VantorTest {

namespace {

std::string EntryXml(const QueueEntry& entry)
{
    std::string xml = "<" + entry.element + ">";
    for (const auto& child : entry.children)
        xml += "<" + child.first + ">" + EscapeXml(child.second) + "</" + child.first + ">";
    if (!entry.pcid.empty())
        xml += "<meta rel=\"" + std::string(Vantor::Net::kStoreWebHost) + "/sonvel/PCID\">" + EscapeXml(entry.pcid) + "</meta>";
    return xml + "</" + entry.element + ">";
}

std::string TrackList(const std::vector<QueueEntry>& entries)
{
    std::string xml = "<trackList>";
    for (const QueueEntry& entry : entries) xml += EntryXml(entry);
    return xml + "</trackList>";
}

} // namespace

std::string QueueDocument::Xml() const
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?><playlist version=\"1\">";
    if (!regular.empty()) xml += TrackList(regular);
    if (!deluxe.empty() || !playlists.empty()) {
        xml += "<extension>";
        if (!deluxe.empty()) xml += "<deluxe>" + TrackList(deluxe) + "</deluxe>";
        if (!playlists.empty()) {
            xml += "<playLists>";
            for (const QueuePlaylist& playlist : playlists) {
                std::vector<QueueEntry> references;
                for (const std::string& pcid : playlist.pcids) references.push_back(QueueEntry{{}, pcid});
                xml += "<playList><title>" + EscapeXml(playlist.title) + "</title>" + TrackList(references) + "</playList>";
            }
            xml += "</playLists>";
        }
        xml += "</extension>";
    }
    return xml + "</playlist>";
}

} // namespace VantorTest
