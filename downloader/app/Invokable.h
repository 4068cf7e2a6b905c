#ifndef DOWNLOADER_APP_INVOKABLE_H
#define DOWNLOADER_APP_INVOKABLE_H

#include "downloader/app/MainThreadInvoke.h"

#include <boost/weak_ptr.hpp>
#include <sigc++/signal.h>

#include <tuple>
#include <type_traits>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// A work item that emits a sigc signal on the main thread with arguments taken, by value,
// on the thread that made it; the result is discarded. It emits the signal object itself,
// so slots connected after the item was made are reached too.
//
// The item refers to the signal rather than copying it: a copy would touch the signal's
// reference count, which is not guarded and belongs to the main thread. So the signal must
// still exist when the item runs. An item made with an owner's life token does nothing once
// the owner has dropped the token; owners drop it on the main thread, where items run, so
// the check can't race with the owner's end.
template <class R, class... Args>
class Invokable : public MainThreadInvoke::IInvokable {
public:
    typedef sigc::signal<R, Args...> Signal;

    // For a signal that outlives the main loop (or, made for InvokeSync, the wait).
    Invokable(Signal& signal, typename std::decay<Args>::type... args)
        : signal(signal), guarded(false), arguments(std::move(args)...)
    {
    }

    // For a signal that lives as long as `ownerAlive` can be locked.
    Invokable(const boost::weak_ptr<void>& ownerAlive, Signal& signal, typename std::decay<Args>::type... args)
        : signal(signal), ownerAlive(ownerAlive), guarded(true), arguments(std::move(args)...)
    {
    }

    void Invoke() override
    {
        if (guarded && ownerAlive.expired())
            return;
        std::apply([this](const typename std::decay<Args>::type&... values) { signal.emit(values...); }, arguments);
    }

private:
    Signal& signal;
    boost::weak_ptr<void> ownerAlive;
    bool guarded;
    std::tuple<typename std::decay<Args>::type...> arguments;
};

template <class R>
using Invokable0 = Invokable<R>;
template <class R, class A1>
using Invokable1 = Invokable<R, A1>;
template <class R, class A1, class A2>
using Invokable2 = Invokable<R, A1, A2>;
template <class R, class A1, class A2, class A3>
using Invokable3 = Invokable<R, A1, A2, A3>;

// Any thread: emits `signal` on the main thread, unless its owner has dropped `ownerAlive` by
// then.
inline void EmitOnMainThread(const boost::weak_ptr<void>& ownerAlive, sigc::signal<void>& signal)
{
    MainThreadInvoke::sInstance.InvokeAsync(
        boost::shared_ptr<MainThreadInvoke::IInvokable>(new Invokable0<void>(ownerAlive, signal)));
}

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
