#include "core/sigslot/sigslot.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

typedef sigslot::multi_threaded_local Policy;
typedef std::vector<std::string> Entries;

// Notes every call of its slots as "<name> <arguments>".
class Recorder : public sigslot::has_slots<Policy> {
public:
    Recorder(Entries& journal, std::string name)
        : mJournal(journal)
        , mName(std::move(name))
    {
    }

    ~Recorder() override { disconnect_all(); }

    void None() { mJournal.push_back(mName); }
    void One(int a) { mJournal.push_back(mName + " " + std::to_string(a)); }
    void Two(int a, std::string b) { mJournal.push_back(mName + " " + std::to_string(a) + b); }
    void Three(int a, std::string b, char c) { mJournal.push_back(mName + " " + std::to_string(a) + b + c); }
    void Throw(int) { throw std::runtime_error("slot failed"); }

private:
    Entries& mJournal;
    const std::string mName;
};

TEST(Signal, CallsEverySlotInConnectionOrderWithEachArity)
{
    Entries journal;
    Recorder first(journal, "first"), second(journal, "second");
    sigslot::signal0<Policy> none;
    sigslot::signal1<int, Policy> one;
    sigslot::signal2<int, std::string, Policy> two;
    sigslot::signal3<int, std::string, char, Policy> three;
    none.connect(&second, &Recorder::None);
    none.connect(&first, &Recorder::None);
    one.connect(&first, &Recorder::One);
    one.connect(&second, &Recorder::One);
    two.connect(&first, &Recorder::Two);
    three.connect(&second, &Recorder::Three);

    none.emit();
    one.emit(1);
    one(2);
    two.emit(3, "x");
    three(4, "y", 'z');

    EXPECT_EQ((Entries{"second", "first", "first 1", "second 1", "first 2", "second 2", "first 3x", "second 4yz"}),
              journal);
}

TEST(Signal, DisconnectAllOrDestructionOnEitherEndCutsBothSides)
{
    Entries journal;
    Recorder third(journal, "third");
    auto first = std::make_unique<Recorder>(journal, "first");
    Recorder second(journal, "second");
    // Goes before `third`, which is still connected to it.
    sigslot::signal0<Policy> none;
    auto one = std::make_unique<sigslot::signal1<int, Policy>>();
    none.connect(&second, &Recorder::None);
    none.connect(&third, &Recorder::None);
    one->connect(first.get(), &Recorder::One);
    one->connect(&second, &Recorder::One);
    one->connect(&third, &Recorder::One);

    // The subscriber leaves every signal it was connected to; a destroyed one as well.
    second.disconnect_all();
    first.reset();
    none.emit();
    one->emit(1);
    // The signal lets go of every subscriber, and they know it: `third` outlives the signal
    // and its destructor must not reach it.
    one->disconnect_all();
    EXPECT_FALSE(one->connected());
    one->emit(2);
    one.reset();

    EXPECT_EQ((Entries{"third", "third 1"}), journal);
}

TEST(Signal, AThrowingSlotReachesTheEmitterAndLeavesTheSignalUnlocked)
{
    Entries journal;
    Recorder other(journal, "o"), thrower(journal, "t");
    sigslot::signal1<int, Policy> signal;
    signal.connect(&other, &Recorder::One);
    signal.connect(&thrower, &Recorder::Throw);

    EXPECT_THROW(signal.emit(1), std::runtime_error);
    // Disconnecting takes the signal's mutex, so it was let go; only that subscriber leaves.
    signal.disconnect(&thrower);
    signal.emit(2);
    EXPECT_EQ((Entries{"o 1", "o 2"}), journal);
}

} // namespace
