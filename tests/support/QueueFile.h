#ifndef TESTS_SUPPORT_QUEUEFILE_H
#define TESTS_SUPPORT_QUEUEFILE_H

// What goes into the download queue (queue files as the store writes them) and what the
// queue leaves behind (the rows of its playlist database).

#include "downloader/model/StoreNamespace.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <utility>
#include <vector>

namespace VantorTest {

// One entry of a track list: its children in order, and the product identifier as a <meta>.
struct QueueEntry {
    std::vector<std::pair<std::string, std::string>> children;
    std::string pcid;
    std::string element = "track";

    std::string Xml() const
    {
        std::string xml;
        for (const auto& child : children)
            xml += XmlElement(child.first, EscapeXml(child.second));
        const std::string rel = " rel=\"" + Vantor::DigitalMedia::MusicClient::Downloader::StoreNamespace::Store() + "/PCID\"";
        return XmlElement(element, xml + (pcid.empty() ? "" : XmlElement("meta", EscapeXml(pcid), rel)));
    }
};

struct QueuePlaylist {
    std::string title;
    std::vector<std::string> pcids;
};

// A whole queue file; `encoding` is only named in its declaration.
struct QueueDocument {
    std::vector<QueueEntry> regular, deluxe;
    std::vector<QueuePlaylist> playlists;
    std::string encoding = "UTF-8";

    std::string Xml() const
    {
        const auto trackList = [](const std::vector<QueueEntry>& entries) {
            std::string xml;
            for (const QueueEntry& entry : entries)
                xml += entry.Xml();
            return XmlElement("trackList", xml);
        };
        std::string lists;
        for (const QueuePlaylist& playlist : playlists) {
            std::vector<QueueEntry> references;
            for (const std::string& pcid : playlist.pcids)
                references.push_back(QueueEntry{{}, pcid});
            lists += XmlElement("playList", XmlElement("title", EscapeXml(playlist.title)) + trackList(references));
        }
        return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>"
            + XmlElement("playlist", trackList(regular) + XmlElement("extension", XmlElement("deluxe", trackList(deluxe)) + XmlElement("playLists", lists)),
                         " version=\"1\"");
    }
};

// The rows of a query, read with SQLite itself: columns joined with "|", NULL as "<null>".
inline std::vector<std::string> DatabaseRows(const std::string& path, const std::string& sql)
{
    std::vector<std::string> rows;
    sqlite3* database = nullptr;
    sqlite3_stmt* statement = nullptr;
    // The program may be writing: wait for its lock rather than fail.
    if (sqlite3_open_v2(path.c_str(), &database, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK || sqlite3_busy_timeout(database, 10000)
        || sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        ADD_FAILURE() << path << ": " << sql << ": " << sqlite3_errmsg(database);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) {
        rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(statement); ++i) {
            const unsigned char* text = sqlite3_column_text(statement, i);
            rows.back() += (i ? "|" : "") + (text ? std::string(reinterpret_cast<const char*>(text)) : "<null>");
        }
    }
    sqlite3_finalize(statement);
    sqlite3_close(database);
    return rows;
}

} // namespace VantorTest

#endif
