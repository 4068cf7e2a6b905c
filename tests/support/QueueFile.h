#ifndef TESTS_SUPPORT_QUEUEFILE_H
#define TESTS_SUPPORT_QUEUEFILE_H

#include "tests/support/XmlEscape.h"

#include <string>
#include <utility>
#include <vector>

namespace VantorTest {

// One entry of a queue file's track list: its children in order (element name, text; the
// text is escaped), and the store's product identifier as a <meta> when `pcid` is set.
struct QueueEntry {
    std::vector<std::pair<std::string, std::string>> children;
    std::string pcid;
    std::string element = "track";
};

// A playlist of the purchase: its title and the products it references, in order.
struct QueuePlaylist {
    std::string title;
    std::vector<std::string> pcids;
};

// The XML of a queue file as the store writes it. Empty lists are left out.
struct QueueDocument {
    std::vector<QueueEntry> regular;
    std::vector<QueueEntry> deluxe;
    std::vector<QueuePlaylist> playlists;
    // As the declaration names it; the texts above are written as they are.
    std::string encoding = "UTF-8";

    std::string Xml() const;
};

} // namespace VantorTest

#endif
