#ifndef DOWNLOADER_APP_DOWNLOADMODELSIGNALPROXY_H
#define DOWNLOADER_APP_DOWNLOADMODELSIGNALPROXY_H

#include "core/net/Download.h"
#include "core/sigslot/sigslot.h"
#include "downloader/model/DownloadModel.h"

#include <boost/noncopyable.hpp>
#include <boost/shared_ptr.hpp>
#include <sigc++/signal.h>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// The download model's events for the user interface. The model announces them on whatever
// thread causes them; the proxy hands each one to the main thread and emits it there, with
// the same arguments, as one of its own sigc signals, on a later turn of the main loop,
// never inside the call that caused it. Controllers connect to a proxy, never to the model.
// Made, used and destroyed on the main thread; never copied, so each event reaches each
// connected slot once. NonAudioDownloadAddedSignal is not handed on.
class DownloadModelSignalProxy : public sigslot::has_slots<sigslot::multi_threaded_local>, private boost::noncopyable {
public:
    typedef DownloadModel::DownloadPtr DownloadPtr;

    // `model` must not be empty; the proxy keeps it alive.
    explicit DownloadModelSignalProxy(boost::shared_ptr<DownloadModel> model);
    // Events still queued for this proxy are dropped.
    ~DownloadModelSignalProxy() override;

    sigc::signal<void, DownloadPtr> DownloadAddedSignal;
    sigc::signal<void, DownloadPtr> DownloadRemovedSignal;
    sigc::signal<void, const DownloadPtr> DownloadStartedSignal;
    sigc::signal<void, const DownloadPtr> DownloadFinishedSignal;
    sigc::signal<void, const DownloadPtr> DownloadDiskFullSignal;
    sigc::signal<void> DownloadQueueFinishedSignal;
    sigc::signal<void, const DownloadPtr, Vantor::Net::Download::Progress, long long> DownloadProgressChangedSignal;
    sigc::signal<void, const DownloadPtr, Vantor::Net::Download::State> DownloadStateChangedSignal;

    // The model's signals end here, on the thread that emits them.
    void HandleDownloadAdded(DownloadPtr download);
    void HandleDownloadRemoved(DownloadPtr download);
    void HandleDownloadStarted(DownloadPtr download);
    void HandleDownloadFinished(DownloadPtr download);
    void HandleDownloadDiskFull(DownloadPtr download);
    void HandleDownloadQueueFinished();
    void HandleDownloadProgressChanged(DownloadPtr download, Vantor::Net::Download::Progress kind, long long value);
    void HandleDownloadStateChanged(DownloadPtr download, Vantor::Net::Download::State state);

private:
    // Queues an `Item` that emits `signal` with `values` on the main thread.
    template <class Item, class... Values>
    void Queue(typename Item::Signal& signal, Values... values);

    boost::shared_ptr<DownloadModel> model;
    // The life token of the items queued for this proxy: dropped as it goes.
    boost::shared_ptr<void> alive;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
