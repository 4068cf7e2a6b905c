#ifndef CORE_REPORTING_REPORTSERVICE_H
#define CORE_REPORTING_REPORTSERVICE_H

#include "core/net/Download.h"
#include "core/reporting/AnsweredReports.h"
#include "core/reporting/Report.h"
#include "core/threading/ReplaceableCall.h"
#include "core/threading/ServerThread.h"

#include <boost/thread/mutex.hpp>
#include <curl/curl.h>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Vantor::Reporting {

// Tells the store's web service how downloads ended. Each report is one GET of an address
// carrying a report tag, the product identifier and a few fixed values. Send queues it and
// returns at once; the service's own worker thread requests the queued reports one at a
// time and logs how each went. A report the store answered, with any status, is done once the
// status line has come, whatever the body does after it; one it did not answer (no connection,
// a server silent or too slow, the program quitting) is not tried again in this run but kept
// for the saved queue, which brings it back at the next start.
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

    // Any thread. Parameters with an empty key or value are left out. `maker`, when given, is
    // the object whose saved state says that it handed the report over (see ForSave).
    static void Send(const std::string& tagText, const std::string& pcid,
                     const std::map<std::string, std::string>& parameters, const void* maker = nullptr);
    static void Send(RefTag tag, const std::string& pcid, const std::map<std::string, std::string>& parameters,
                     const void* maker = nullptr);
    static void Send(RefTag tag, const std::string& pcid);
    static void Send(RefTag tag, const std::map<std::string, std::string>& parameters);
    static void Send(RefTag tag);

    static RefTag NetworkErrorToRefTag(Vantor::Net::Download::NetworkErrorType type);

    // Drops the queued reports and stops the worker for good: later reports are not sent.
    static void ClearPending();

    // From now on a report is requested only after a save that holds it (SendSaved): a crash
    // then finds the report in the saved queue exactly when the maker's saved state says it
    // was handed over, so it is never lost. Each answer is noted in `answeredFile` at once, so
    // that one the saved queue still holds is not sent again (AnsweredReports).
    static void HoldUntilSaved(const std::string& answeredFile);
    // The number of reports made so far.
    static unsigned long long Made();
    // The reports the store has not answered, oldest first, for a save to hold: each counts as
    // saved. Left out are those a maker in `written` made after the save wrote its state:
    // `written` maps each such maker to Made() taken right after, both under the lock that the
    // maker holds while it sends a report and notes that it did.
    static std::vector<Report> ForSave(const std::map<const void*, unsigned long long>& written);
    // A save has ended: requests the reports it held, or, when it failed, every report held so
    // far (a settings folder that can't be written must not hold them back for ever).
    static void SendSaved(bool landed);
    // A report the saved queue held, requested at once; none the store answered before.
    static void Restore(const Report& report);
    // How the service asks for a save of the queue once the store answered a report, on its own
    // thread; empty for none. Once replaced, the old one is asked no more.
    static void SetSaver(const std::function<void()>& saver);
    // Abandons the report under way, waits for it to end, and requests nothing more: every
    // report not answered by now, later ones too, is left for ForSave.
    static void Stop();

    // The worker's item: requests the oldest queued report. Told to cancel (the worker is
    // stopped: at exit, or by ClearPending or Stop), it abandons the request under way.
    void SendNext(const Vantor::Threading::WorkMessage& message);

    static size_t OnCurlWriteData(void* data, size_t size, size_t count, void* user);
    // Notes the report as answered once the store's status line comes.
    static size_t OnCurlHeader(char* data, size_t size, size_t count, void* answer);
    // Ends the request once it is abandoned; libcurl calls it at least once a second.
    static int OnCurlProgress(void* service, curl_off_t, curl_off_t, curl_off_t, curl_off_t);

private:
    // A report the store has not answered.
    struct Pending {
        // Held for a save, queued for the worker, or requested in this run without an answer.
        enum State { Held, Queued, Tried };
        unsigned long long number;
        // Only told apart from other makers, never followed: it may be gone.
        const void* maker;
        Report report;
        // Made as the report is: one from an earlier run goes where reports go today.
        std::string url;
        State state;
        bool saved;
    };
    // Keeping: stopped, reports are kept for the last save; Dropping: cleared, they are dropped.
    enum Mode { Sending, Keeping, Dropping };

    // Takes the lock held.
    static void AddLocked(Report report, const void* maker, bool held);
    static void QueueLocked(Pending& pending);
    // The report under way, and whether the store has answered it.
    struct Answer {
        ReportService* service;
        std::string id;
        bool noted;
    };

    // An id no other report has had: random, as reports outlive the run that made them.
    static std::string NewId();

    std::deque<Pending> pending;
    AnsweredReports answered;
    // The ids of the reports the last save held.
    std::set<std::string> lastSaved;
    Vantor::Threading::ReplaceableCall saver;
    unsigned long long made;
    bool holdUntilSaved;
    Mode mode;
    // Set once the worker is stopped. A server that answers slowly or never must not hold the
    // program's exit, which stops and joins the worker (so this is declared before it).
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
