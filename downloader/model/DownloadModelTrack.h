#ifndef DOWNLOADER_MODEL_DOWNLOADMODELTRACK_H
#define DOWNLOADER_MODEL_DOWNLOADMODELTRACK_H

#include "downloader/model/DownloadModel.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <map>
#include <string>

namespace Vantor::Data {
class XSPFElement;
}

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The metadata of one queued file: one XSPF element per key, read from a <track> element
// and written back as one. Each element remembers whether it is a plain child or a <meta>
// in one of the store's namespaces. Safe to use from several threads; the track's lock is
// always the innermost one taken.
class DownloadModel::Track : private boost::noncopyable {
public:
    // The keys a queue file uses as element name or rel suffix.
    struct MetadataKey {
        static const char* const Location;
        static const char* const Creator;
        static const char* const Album;
        static const char* const AlbumArtist;
        static const char* const Title;
        static const char* const Image;
        static const char* const Duration;
        static const char* const Filesize;
        static const char* const PrimaryGenre;
        static const char* const TrackNum;
        static const char* const DiscNum;
        static const char* const PCID;
        static const char* const TrackType;
    };

    // Loads `track` when it is not null. Throws std::invalid_argument for a <meta> with a
    // value but no rel.
    explicit Track(TiXmlElement* track);
    virtual ~Track();

    // Adds the children of a <track> element; a later value of a key replaces an earlier one.
    // Names and values that are not UTF-8 throughout are read as Latin-1 as a whole; a saved
    // local file name is kept as it is.
    void Load(TiXmlElement* track);

    // Stored as a plain element: <key>value</key>.
    void SetMetadata(const std::string& key, const std::string& value);
    // Stored as <meta rel="namespaceBase/key">value</meta>.
    void SetMetadata(const std::string& key, const std::string& namespaceBase, const std::string& value);

    // The value as stored; "" when the key is absent.
    virtual std::string GetMetadataValue(const std::string& key) const;
    // The location made UTF-8.
    std::string GetURL() const;

    // Appends one <track> element with every value, in key order, to `trackList`; nothing
    // when the track holds no value.
    void Save(TiXmlElement* trackList);
    // Appends that <track> element to `xml` as TinyXML's stream printer writes it.
    void AppendXml(std::string& xml) const;

private:
    void Store(const std::string& key, const boost::shared_ptr<Vantor::Data::XSPFElement>& element);

    std::map<std::string, boost::shared_ptr<Vantor::Data::XSPFElement>> metadata;
    mutable boost::mutex mutex;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
