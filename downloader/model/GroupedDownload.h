#ifndef DOWNLOADER_MODEL_GROUPEDDOWNLOAD_H
#define DOWNLOADER_MODEL_GROUPEDDOWNLOAD_H

#include "downloader/model/DownloadModel.h"
#include "downloader/model/DownloadModelDownload.h"
#include "downloader/model/DownloadModelTrack.h"

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <array>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// An album as the download list shows it: it looks like one download, but transfers nothing.
// Its state, progress and metadata come from its children (the album's track downloads) and
// pause, cancel and resume are passed on to them. Used from the main thread while the model's
// worker changes the children. Lock order: the group's lock, then the children's own locks; a
// child never calls back into its group.
//
// The group counts its children by state as they change, rather than asking each of them at
// every question: the list asks at every event of every track, and an album of many thousand
// tracks took time in the square of their number to list. A child is counted in the state it
// had when it was added or when the group was last told of it (ChildStateChanged), as the list
// does at each of its events.
class GroupedDownload : public DownloadModel::Download {
public:
    // The group's own metadata: the album's values, read from the first child.
    class Track;

    // A group keeps the model alive.
    explicit GroupedDownload(boost::shared_ptr<DownloadModel> model);
    ~GroupedDownload() override;

    void AddChildDownload(boost::shared_ptr<DownloadModel::Download> child);
    // Takes out the first child that is this very object; nothing when it is not there.
    void DeleteChildDownload(boost::shared_ptr<DownloadModel::Download> child);
    bool HasChildren() const;
    // Counts the child in the state it is in now; nothing when it is not a child.
    void ChildStateChanged(const boost::shared_ptr<DownloadModel::Download>& child);
    // How many children are counted in each of these states; children in other states are not
    // counted.
    void GetChildStats(unsigned int& downloading, unsigned int& waiting, unsigned int& downloaded,
                       unsigned int& canceled, unsigned int& paused) const;

    bool CanPause() override;
    void Pause() override;
    bool CanCancel() override;
    void Cancel() override;
    std::string GetStateString() const override;
    int GetPercentCompleted() const override;
    // Downloading when a child is, else Waiting when a child is, else Downloaded when all are
    // (or there are none), else Paused when a child is, else Canceled when all are, else
    // NetworkError, which for a group means "incomplete".
    State GetState() const override;
    // The album folder: the first child's folder, ending with "/"; "" without children.
    // Throws invalid_path_exception when the first child has no file yet.
    std::string GetLocalFilename() const override;
    // Only children the model still holds can be resumed.
    bool CanResume() override;
    void Resume() override;

private:
    // A child with the state it is counted in; `order` tells a child added twice apart.
    struct Child {
        boost::shared_ptr<DownloadModel::Download> download;
        State counted;
        unsigned long long order;
    };
    typedef std::list<Child> Children;

    // Adds the child to the counts of the state it is counted in, or takes it out. Under the
    // group's lock.
    void Count(const Child& child);
    void Uncount(const Child& child);

    // Calls `operation` on every child, in order, under the group's lock.
    template <typename Operation> void ForEachChild(Operation operation);
    // True when `question` is true of some child, asked in order until one answers true.
    template <typename Question> bool AnyChild(Question question);
    static bool IsResumable(DownloadModel::Download& child);

    boost::shared_ptr<DownloadModel> model;
    // In the order they were added.
    Children children;
    // Where each child is in `children`.
    std::unordered_multimap<const DownloadModel::Download*, Children::iterator> places;
    unsigned long long added = 0;
    // How many children are counted in each state.
    std::array<unsigned, RetryingImport + 1> counts{};
    // The children counted as downloading: they alone add a part of their own to the percentage.
    std::vector<const Child*> downloading;
    mutable boost::mutex mutex;
};

class GroupedDownload::Track : private DownloadModel::Track {
public:
    explicit Track(GroupedDownload& group);
    ~Track() override;

    // The title is "album artist - album"; album, album artist, genre and image are the first
    // child's; every other key is "".
    std::string GetMetadataValue(const std::string& key) const override;
    // The first child's value for `key`; "" without children.
    virtual std::string GetMetadataFromParent(const std::string& key) const;

private:
    // Installs the track in its group.
    friend class GroupedDownload;

    GroupedDownload& group;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
