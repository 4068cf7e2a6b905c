#ifndef DOWNLOADER_APP_DEBUGLOG_H
#define DOWNLOADER_APP_DEBUGLOG_H

#include "core/sigslot/sigslot.h"

#include <boost/thread/mutex.hpp>

#include <cstdio>
#include <string>

namespace Vantor::DigitalMedia::MusicClient::Downloader {

// Writes every logged line, stamped with the local time, to "debug.txt" in the settings
// directory, but only when RUQ_DEBUG_LEVEL is "verbose" at construction. Lines come from any
// thread; each is written whole and flushed before the logging call returns.
class DebugLog : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    DebugLog();
    ~DebugLog() override;
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    void OnStringLogged(std::string text);

    // Appends while the file is below 2 MiB, and starts it afresh from there.
    void OpenLogFile();
    void CloseLogFile();

private:
    FILE* logFile;
    std::string path;
    boost::mutex mutex;
};

} // namespace Vantor::DigitalMedia::MusicClient::Downloader

#endif
