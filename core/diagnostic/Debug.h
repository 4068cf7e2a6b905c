#ifndef CORE_DIAGNOSTIC_DEBUG_H
#define CORE_DIAGNOSTIC_DEBUG_H

#include "core/sigslot/sigslot.h"

#include <string>

namespace Vantor::Diagnostic {

// The process-wide log channel. Any thread hands it a finished line; the line goes at once,
// on the caller's thread, to every subscriber. Subscribers decide whether and where lines
// are written. A subscriber must not log from inside its slot.
class Debug {
public:
    typedef sigslot::signal1<std::string, sigslot::multi_threaded_local> LogSignal;

    static LogSignal& StringLoggedSignal();
    static void LogString(const std::string& text);
    static void LogString(const std::wstring& text);

    Debug() = delete;
};

} // namespace Vantor::Diagnostic

#endif
