#ifndef CORE_SIGSLOT_SIGSLOT_H
#define CORE_SIGSLOT_SIGSLOT_H

// Thread-safe signals and slots for the core and the download model.
//
//   class Listener : public sigslot::has_slots<sigslot::multi_threaded_local> {
//   public:
//       void OnLine(std::string line);
//   };
//   sigslot::signal1<std::string, sigslot::multi_threaded_local> logged;
//   logged.connect(&listener, &Listener::OnLine);
//   logged.emit("hello");            // or logged("hello")
//
// Locking (multi_threaded_local): every signal and every slot holder has its own plain,
// non-recursive mutex. A signal holds its mutex while it emits, connects and disconnects,
// so slots run one emission at a time and a slot must never emit, connect or disconnect on
// the signal that is calling it. A slot holder that is destroyed disconnects itself from
// every signal it is connected to; that waits for an emission in progress to finish.
//
// The holder's base destructor runs after the derived members are gone: a subscriber whose
// slots may be called from another thread calls disconnect_all() in its own destructor.

#include <algorithm>
#include <functional>
#include <list>
#include <mutex>
#include <set>
#include <utility>

namespace sigslot {

// One mutex per object that uses the policy (each signal, each slot holder).
class multi_threaded_local {
public:
    multi_threaded_local() = default;
    // A copy gets a mutex of its own.
    multi_threaded_local(const multi_threaded_local&) {}
    multi_threaded_local& operator=(const multi_threaded_local&) { return *this; }

    void lock() { mMutex.lock(); }
    void unlock() { mMutex.unlock(); }

private:
    std::mutex mMutex;
};

template <class mt_policy>
class lock_block {
public:
    explicit lock_block(mt_policy* policy) : mPolicy(policy) { mPolicy->lock(); }
    ~lock_block() { mPolicy->unlock(); }
    lock_block(const lock_block&) = delete;
    lock_block& operator=(const lock_block&) = delete;

private:
    mt_policy* mPolicy;
};

template <class mt_policy>
class has_slots;

// What a slot holder knows of a signal it is connected to.
template <class mt_policy>
class _signal_base {
public:
    virtual ~_signal_base() = default;
    // Removes every connection to `holder` without calling back into it.
    virtual void slot_disconnect(has_slots<mt_policy>* holder) = 0;
};

template <class mt_policy = multi_threaded_local>
class has_slots : public mt_policy {
public:
    has_slots() = default;
    // A copy starts with no connections of its own.
    has_slots(const has_slots&) : mt_policy() {}
    has_slots& operator=(const has_slots&) { return *this; }

    virtual ~has_slots() { disconnect_all(); }

    void signal_connect(_signal_base<mt_policy>* sender)
    {
        lock_block<mt_policy> lock(this);
        mSenders.insert(sender);
    }

    void signal_disconnect(_signal_base<mt_policy>* sender)
    {
        lock_block<mt_policy> lock(this);
        mSenders.erase(sender);
    }

    // Disconnects this holder from every signal. The holder's own mutex is released before
    // any signal's mutex is taken, so this never holds both in the order opposite to connect.
    void disconnect_all()
    {
        std::set<_signal_base<mt_policy>*> senders;
        {
            lock_block<mt_policy> lock(this);
            senders.swap(mSenders);
        }
        for (_signal_base<mt_policy>* sender : senders)
            sender->slot_disconnect(this);
    }

private:
    std::set<_signal_base<mt_policy>*> mSenders;
};

// The signal with any number of arguments; signal0 to signal3 below name it.
template <class mt_policy, class... Args>
class _signal : public _signal_base<mt_policy>, public mt_policy {
public:
    _signal() = default;
    _signal(const _signal&) = delete;
    _signal& operator=(const _signal&) = delete;

    ~_signal() override { disconnect_all(); }

    template <class Dest>
    void connect(Dest* destination, void (Dest::*method)(Args...))
    {
        lock_block<mt_policy> lock(this);
        Connection connection;
        connection.destination = destination;
        connection.call = [destination, method](Args... args) { (destination->*method)(args...); };
        mConnections.push_back(std::move(connection));
        destination->signal_connect(this);
    }

    // Both ends change under the signal's mutex, as in connect: a connect of the same
    // subscriber from another thread can't slip in between and leave a connection the
    // subscriber no longer knows of (it would outlive the subscriber).
    void disconnect(has_slots<mt_policy>* destination)
    {
        lock_block<mt_policy> lock(this);
        RemoveConnectionsTo(destination);
        destination->signal_disconnect(this);
    }

    void disconnect_all()
    {
        lock_block<mt_policy> lock(this);
        for (Connection& connection : mConnections)
            connection.destination->signal_disconnect(this);
        mConnections.clear();
    }

    void slot_disconnect(has_slots<mt_policy>* destination) override
    {
        lock_block<mt_policy> lock(this);
        RemoveConnectionsTo(destination);
    }

    bool connected() const
    {
        lock_block<mt_policy> lock(const_cast<_signal*>(this));
        return !mConnections.empty();
    }

    // Calls every slot in connection order, on this thread, with the signal's mutex held.
    void emit(Args... args)
    {
        lock_block<mt_policy> lock(this);
        auto it = mConnections.begin();
        while (it != mConnections.end()) {
            auto next = std::next(it);
            it->call(args...);
            it = next;
        }
    }

    void operator()(Args... args) { emit(args...); }

private:
    struct Connection {
        has_slots<mt_policy>* destination = nullptr;
        std::function<void(Args...)> call;
    };

    void RemoveConnectionsTo(has_slots<mt_policy>* destination)
    {
        mConnections.remove_if([destination](const Connection& c) { return c.destination == destination; });
    }

    std::list<Connection> mConnections;
};

template <class mt_policy = multi_threaded_local>
class signal0 : public _signal<mt_policy> {};

template <class A1, class mt_policy = multi_threaded_local>
class signal1 : public _signal<mt_policy, A1> {};

template <class A1, class A2, class mt_policy = multi_threaded_local>
class signal2 : public _signal<mt_policy, A1, A2> {};

template <class A1, class A2, class A3, class mt_policy = multi_threaded_local>
class signal3 : public _signal<mt_policy, A1, A2, A3> {};

} // namespace sigslot

#endif
