#ifndef CORE_REPORTING_REPORTSERVICE_H
#define CORE_REPORTING_REPORTSERVICE_H

#include "core/net/Download.h"
#include "core/threading/ServerThread.h"

#include <boost/thread/mutex.hpp>
#include <curl/curl.h>

#include <atomic>
#include <deque>
#include <map>
#include <string>

namespace Vantor::Reporting {

// Tells the store's web service how downloads ended. Each report is one GET of an address
// carrying a report tag, the product identifier and a few fixed values. Send queues it and
// returns at once; the service's own worker thread requests the queued addresses one at a
// time, logs how each went and never retries.
class ReportService {
public:
    enum RefTag {
        DlOk = 0,
        DlFail = 1,
        ItnOk = 2,
        ItnFail = 3,
        WmpOk = 4,
        WmpFail = 5,
        ItnBdcom = 6,
        DlErr01 = 7,
        DlErr02 = 8,
        DlErr03 = 9,
        DlErr04 = 10,
        DlErr05 = 11,
        DlErr06 = 12,
        DlErr07 = 13,
        DlErr08 = 14,
        DlErr09 = 15,
        DlErrUn = 16,
        DlExpire = 17,
        Retry00 = 18,
        Retry01 = 19,
        Retry02 = 20,
        NoMedlib = 21
    };

    ReportService();
    ~ReportService();
    ReportService(const ReportService&) = delete;
    ReportService& operator=(const ReportService&) = delete;

    // Any thread. Parameters with an empty key or value are left out.
    static void Send(const std::string& tagText, const std::string& pcid,
                     const std::map<std::string, std::string>& parameters);
    static void Send(RefTag tag, const std::string& pcid, const std::map<std::string, std::string>& parameters);
    static void Send(RefTag tag, const std::string& pcid);
    static void Send(RefTag tag, const std::map<std::string, std::string>& parameters);
    static void Send(RefTag tag);

    static RefTag NetworkErrorToRefTag(Vantor::Net::Download::NetworkErrorType type);

    // Drops the queued reports and stops the worker for good: later reports are not sent.
    static void ClearPending();

    // The worker's item: requests the oldest queued address. Told to cancel (the worker is
    // stopped: at exit, or by ClearPending), it abandons the request under way.
    void SendNext(const Vantor::Threading::WorkMessage& message);

    static size_t OnCurlWriteData(void* data, size_t size, size_t count, void* user);
    // Ends the request once it is abandoned; libcurl calls it at least once a second.
    static int OnCurlProgress(void* service, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

private:
    std::deque<std::string> pendingUrls;
    // Set once the worker is stopped. Reports are fire and forget: a server that answers
    // slowly or never must not hold the program's exit, which stops and joins the worker
    // (so this is declared before it).
    std::atomic<bool> abandoned;
    Vantor::Threading::ServerThread worker;
    std::map<RefTag, std::string> tagTexts;
    std::map<Vantor::Net::Download::NetworkErrorType, RefTag> errorTags;

    static bool sIsRunning;
    static boost::mutex sMutex;
    static ReportService sInstance;
};

// The report address: the translated base, "ref=" and the tag, then the query.
std::string CreateUrl(std::string tagText, const std::string& pcid, const std::map<std::string, std::string>& parameters);
// libcurl's escaping of `text`.
std::string UrlEncode(CURL* handle, const std::string& text);

} // namespace Vantor::Reporting

#endif
