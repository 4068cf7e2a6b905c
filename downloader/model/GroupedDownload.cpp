#include "downloader/model/GroupedDownload.h"

#include "core/data/StringUtility.h"
#include "core/filesystem/LinuxFilesystemUtility.h"
#include "core/localization/TranslationService.h"

#include <algorithm>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Data::StringUtility;

using Vantor::Localization::Translate;

GroupedDownload::GroupedDownload(boost::shared_ptr<DownloadModel> model)
    : DownloadModel::Download(*model)
    , model(model)
{
    // The group's track is a Track only to the group itself.
    DownloadModel::Track* own = new Track(*this);
    track.reset(own);
}

GroupedDownload::~GroupedDownload() = default;

void GroupedDownload::AddChildDownload(boost::shared_ptr<DownloadModel::Download> child)
{
    boost::mutex::scoped_lock lock(mutex);
    const Children::iterator place = children.insert(children.end(), Child{child, child->GetState(), added++});
    places.emplace(child.get(), place);
    Count(*place);
}

void GroupedDownload::DeleteChildDownload(boost::shared_ptr<DownloadModel::Download> child)
{
    boost::mutex::scoped_lock lock(mutex);
    const auto range = places.equal_range(child.get());
    auto first = range.first;
    for (auto place = range.first; place != range.second; ++place) {
        if (place->second->order < first->second->order)
            first = place;
    }
    if (first == range.second)
        return;
    Uncount(*first->second);
    children.erase(first->second);
    places.erase(first);
}

bool GroupedDownload::HasChildren() const
{
    boost::mutex::scoped_lock lock(mutex);
    return !children.empty();
}

void GroupedDownload::ChildStateChanged(const boost::shared_ptr<DownloadModel::Download>& child)
{
    boost::mutex::scoped_lock lock(mutex);
    const auto range = places.equal_range(child.get());
    if (range.first == range.second)
        return;
    const State now = child->GetState();
    for (auto place = range.first; place != range.second; ++place) {
        Uncount(*place->second);
        place->second->counted = now;
        Count(*place->second);
    }
}

void GroupedDownload::Count(const Child& child)
{
    ++counts[child.counted];
    if (child.counted == Downloading)
        downloading.push_back(&child);
}

void GroupedDownload::Uncount(const Child& child)
{
    --counts[child.counted];
    if (child.counted == Downloading)
        downloading.erase(std::find(downloading.begin(), downloading.end(), &child));
}

void GroupedDownload::GetChildStats(unsigned int& downloading, unsigned int& waiting, unsigned int& downloaded,
                                    unsigned int& canceled, unsigned int& paused) const
{
    boost::mutex::scoped_lock lock(mutex);
    downloading = counts[Downloading];
    waiting = counts[Waiting];
    downloaded = counts[Downloaded];
    canceled = counts[Canceled];
    paused = counts[Paused];
}

Vantor::Net::Download::State GroupedDownload::GetState() const
{
    unsigned int downloading, waiting, downloaded, canceled, paused;
    GetChildStats(downloading, waiting, downloaded, canceled, paused);
    size_t count;
    {
        boost::mutex::scoped_lock lock(mutex);
        count = children.size();
    }
    if (downloading > 0)
        return Downloading;
    if (waiting > 0)
        return Waiting;
    if (downloaded == count)
        return Downloaded;
    if (paused > 0)
        return Paused;
    if (canceled == count)
        return Canceled;
    // An album partly downloaded and partly canceled, failed or on its way to a pause.
    return NetworkError;
}

std::string GroupedDownload::GetStateString() const
{
    switch (GetState()) {
    case Waiting: return Translate("sonvel_dl_waiting", "Waiting");
    case Downloaded: return Translate("sonvel_dl_completed", "Completed");
    case Downloading: return Translate("sonvel_dl_downloading", "Downloading");
    case Paused: return Translate("sonvel_dl_paused", "Paused");
    case Canceled: return Translate("sonvel_dl_canceled", "Canceled");
    case NetworkError: return Translate("sonvel_dl_incomplete", "Incomplete");
    default: return "unknown state!";
    }
}

int GroupedDownload::GetPercentCompleted() const
{
    boost::mutex::scoped_lock lock(mutex);
    if (children.empty())
        return 0;
    // Each child is an equal share of the album; a transferring one counts with its progress.
    const float share = 100.0f / children.size();
    float sum = counts[Downloaded] * share;
    for (const Child* child : downloading)
        sum += child->download->GetPercentCompleted() / 100.0f * share;
    return static_cast<int>(sum);
}

std::string GroupedDownload::GetLocalFilename() const
{
    boost::mutex::scoped_lock lock(mutex);
    if (children.empty())
        return StringUtility::MakeUTF8("");
    return LinuxFilesystemUtility().GetDirectory(children.front().download->GetLocalFilename());
}

template <typename Operation> void GroupedDownload::ForEachChild(Operation operation)
{
    boost::mutex::scoped_lock lock(mutex);
    for (const Child& child : children) operation(*child.download);
}

template <typename Question> bool GroupedDownload::AnyChild(Question question)
{
    boost::mutex::scoped_lock lock(mutex);
    for (const Child& child : children) {
        if (question(*child.download))
            return true;
    }
    return false;
}

bool GroupedDownload::CanPause()
{
    return AnyChild([](DownloadModel::Download& child) { return child.CanPause(); });
}

void GroupedDownload::Pause()
{
    ForEachChild([](DownloadModel::Download& child) { child.Pause(); });
}

bool GroupedDownload::CanCancel()
{
    return AnyChild([](DownloadModel::Download& child) { return child.CanCancel(); });
}

void GroupedDownload::Cancel()
{
    ForEachChild([](DownloadModel::Download& child) { child.Cancel(); });
}

// A child that was cleared from the model stays in its group but has no place in the queue
// any more: there is nothing left to put a work item for, so it can't be resumed.
bool GroupedDownload::IsResumable(DownloadModel::Download& child)
{
    return child.CanResume() && child.GetDownloadRefFromModel();
}

bool GroupedDownload::CanResume()
{
    return AnyChild(&GroupedDownload::IsResumable);
}

void GroupedDownload::Resume()
{
    ForEachChild([](DownloadModel::Download& child) {
        if (IsResumable(child))
            child.Resume();
    });
}

GroupedDownload::Track::Track(GroupedDownload& group)
    : DownloadModel::Track(nullptr)
    , group(group)
{
}

GroupedDownload::Track::~Track() = default;

std::string GroupedDownload::Track::GetMetadataValue(const std::string& key) const
{
    if (key == MetadataKey::Title)
        return GetMetadataFromParent(MetadataKey::AlbumArtist) + " - " + GetMetadataFromParent(MetadataKey::Album);
    if (key == MetadataKey::Album || key == MetadataKey::AlbumArtist || key == MetadataKey::PrimaryGenre
        || key == MetadataKey::Image)
        return GetMetadataFromParent(key);
    return StringUtility::MakeUTF8("");
}

std::string GroupedDownload::Track::GetMetadataFromParent(const std::string& key) const
{
    boost::mutex::scoped_lock lock(group.mutex);
    if (group.children.empty())
        return StringUtility::MakeUTF8("");
    return group.children.front().download->GetTrack()->GetMetadataValue(key);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
