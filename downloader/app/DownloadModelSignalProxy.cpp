#include "downloader/app/DownloadModelSignalProxy.h"

#include "downloader/app/Invokable.h"
#include "downloader/app/MainThreadInvoke.h"

#include <boost/make_shared.hpp>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

using Vantor::Net::Download;

DownloadModelSignalProxy::DownloadModelSignalProxy(boost::shared_ptr<DownloadModel> model)
    : model(model), alive(boost::make_shared<bool>(true))
{
    model->DownloadAddedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadAdded);
    model->DownloadRemovedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadRemoved);
    model->DownloadStartedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadStarted);
    model->DownloadFinishedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadFinished);
    model->DownloadDiskFullSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadDiskFull);
    model->DownloadQueueFinishedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadQueueFinished);
    model->DownloadProgressChangedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadProgressChanged);
    model->DownloadStateChangedSignal.connect(this, &DownloadModelSignalProxy::HandleDownloadStateChanged);
}

DownloadModelSignalProxy::~DownloadModelSignalProxy()
{
    // Before any member goes: each disconnection waits for an emission in progress on the
    // worker, so no handler runs once this returns.
    disconnect_all();
}

template <class Item, class... Values>
void DownloadModelSignalProxy::Queue(typename Item::Signal& signal, Values... values)
{
    MainThreadInvoke::sInstance.InvokeAsync(
        boost::shared_ptr<MainThreadInvoke::IInvokable>(new Item(boost::weak_ptr<void>(alive), signal, values...)));
}

void DownloadModelSignalProxy::HandleDownloadAdded(DownloadPtr download)
{
    Queue<Invokable1<void, DownloadPtr>>(DownloadAddedSignal, download);
}

void DownloadModelSignalProxy::HandleDownloadRemoved(DownloadPtr download)
{
    Queue<Invokable1<void, DownloadPtr>>(DownloadRemovedSignal, download);
}

void DownloadModelSignalProxy::HandleDownloadStarted(DownloadPtr download)
{
    Queue<Invokable1<void, const DownloadPtr>>(DownloadStartedSignal, download);
}

void DownloadModelSignalProxy::HandleDownloadFinished(DownloadPtr download)
{
    Queue<Invokable1<void, const DownloadPtr>>(DownloadFinishedSignal, download);
}

void DownloadModelSignalProxy::HandleDownloadDiskFull(DownloadPtr download)
{
    Queue<Invokable1<void, const DownloadPtr>>(DownloadDiskFullSignal, download);
}

void DownloadModelSignalProxy::HandleDownloadQueueFinished()
{
    Queue<Invokable0<void>>(DownloadQueueFinishedSignal);
}

void DownloadModelSignalProxy::HandleDownloadProgressChanged(DownloadPtr download, Download::Progress kind,
                                                             long long value)
{
    Queue<Invokable3<void, const DownloadPtr, Download::Progress, long long>>(DownloadProgressChangedSignal, download,
                                                                               kind, value);
}

void DownloadModelSignalProxy::HandleDownloadStateChanged(DownloadPtr download, Download::State state)
{
    Queue<Invokable2<void, const DownloadPtr, Download::State>>(DownloadStateChangedSignal, download, state);
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader
