#ifndef CORE_NET_UPDATECHECK_H
#define CORE_NET_UPDATECHECK_H

#include "core/net/Download.h"
#include "core/settings/Version.h"
#include "core/sigslot/sigslot.h"

#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <list>
#include <set>
#include <string>

namespace Vantor::Net {

// Asks the store's web service for the latest version of a product on a platform and
// compares it with the running version. CheckAsync delivers the answer through
// UpdateCompletedSignal on a thread of the check's own.
//
// The answer:
//   <ArrayOfProduct>
//     <Product name="DownloadManager" platform="Linux" latestVersion="1.2.0"
//              criticalSince="1.0.5" url="http://..."/>
//   </ArrayOfProduct>
class UpdateCheck {
public:
    struct UpdateInfo {
        UpdateInfo();

        bool found;
        Vantor::Settings::Version latestVersion;
        std::string url;
        bool updateAvailable;
        bool critical;
    };

    sigslot::signal1<UpdateInfo, sigslot::multi_threaded_local> UpdateCompletedSignal;

    // The platform gets the translation service's locale appended (Linux-de_de), except for
    // American English.
    UpdateCheck(const std::string& productName, const std::string& platform, const Vantor::Settings::Version& current);
    // Stops the checks still running and waits for their threads; their results are not
    // delivered.
    ~UpdateCheck();
    UpdateCheck(const UpdateCheck&) = delete;
    UpdateCheck& operator=(const UpdateCheck&) = delete;

    void CheckAsync();
    UpdateInfo CheckSync();
    UpdateInfo ParseXml(const std::string& xml);
    // Three decimal numbers separated by dots.
    bool ParseVersion(const char* text, Vantor::Settings::Version& version);
    void ThreadEntry();

private:
    Vantor::Settings::Version current;
    std::string productName;
    std::string platform;

    // Every check thread started and not yet joined; the destructor joins them all.
    std::list<boost::thread> checkThreads;
    // The transfers of the checks under way, canceled when the object goes away.
    std::set<Download*> transfers;
    bool closing;
    boost::mutex checksMutex;
};

} // namespace Vantor::Net

#endif
