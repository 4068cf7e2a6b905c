#include "core/reporting/ReportService.h"

#include "core/data/StringUtility.h"
#include "core/diagnostic/Debug.h"
#include "core/localization/TranslationService.h"
#include "core/net/StoreWebHost.h"
#include "core/settings/ProgramVersion.h"

#include <boost/bind/bind.hpp>
#include <boost/format.hpp>

#include <algorithm>
#include <iomanip>
#include <random>
#include <sstream>

namespace Vantor::Reporting {

using Vantor::Data::StringUtility;
using Vantor::Diagnostic::Debug;
using Vantor::Net::Download;

namespace {

const char kUserAgent[] = "Mozilla/5.0 (Windows; U; Windows NT 5.1; en-US; rv:1.9.0.10) Gecko/2009042316 Firefox/3.0.10";

// A report that receives nothing for this long is given up, so that a stalled server
// can't hold the worker.
const long kStallSeconds = 30;

std::string ReportBaseUrl()
{
    const std::string fallback = std::string(Vantor::Net::kStoreWebHost) + "/gp/sonvel/ruq-result.html/";
    return StringUtility::MakeUTF8(Vantor::Localization::TranslationService::Instance()->Translate(
        StringUtility::MakeUTF8("sonvel_url_report_service"), StringUtility::MakeUTF8(fallback)));
}

} // namespace

// Declared in this order so that the mutex exists before the service is built.
bool ReportService::sIsRunning = false;
boost::mutex ReportService::sMutex;
ReportService ReportService::sInstance;

ReportService::ReportService()
    : made(0),
      holdUntilSaved(false),
      mode(Sending),
      abandoned(false),
      tagTexts{{DlOk, "dm_ruq_dl_ok"},         {DlFail, "dm_ruq_dl_fail"},     {ItnOk, "dm_ruq_itn_ok"},
               {ItnFail, "dm_ruq_itn_fail"},   {WmpOk, "dm_ruq_wmp_ok"},       {WmpFail, "dm_ruq_wmp_fail"},
               {ItnBdcom, "dm_ruq_itn_bdcom"}, {DlErr01, "dm_ruq_dl_err_01"},  {DlErr02, "dm_ruq_dl_err_02"},
               {DlErr03, "dm_ruq_dl_err_03"},  {DlErr04, "dm_ruq_dl_err_04"},  {DlErr05, "dm_ruq_dl_err_05"},
               {DlErr06, "dm_ruq_dl_err_06"},  {DlErr07, "dm_ruq_dl_err_07"},  {DlErr08, "dm_ruq_dl_err_08"},
               {DlErr09, "dm_ruq_dl_err_09"},  {DlErrUn, "dm_ruq_dl_err_un"},  {DlExpire, "dm_ruq_dl_expire"},
               {Retry00, "dm_ruq_retry_00"},   {Retry01, "dm_ruq_retry_01"},   {Retry02, "dm_ruq_retry_02"},
               {NoMedlib, "dm_ruq_no_medlib"}},
      errorTags{{Download::HostNotFound, DlErr01},        {Download::TimedOut, DlErr02},
                {Download::ConnectFailed, DlErr03},       {Download::TransferInterrupted, DlErr04},
                {Download::RangeError, DlErr05},          {Download::BadContentEncoding, DlErr06},
                {Download::NothingReceived, DlErr07},     {Download::MalformedUrl, DlErr08},
                {Download::ProxyNotFound, DlErr09},       {Download::UnknownError, DlErrUn}}
{
    // The worker logs and reads the transfers' proxy until it is joined at exit: both are
    // built first, so that they are destroyed after this object.
    Debug::StringLoggedSignal();
    Download::GetProxyHost();
}

ReportService::~ReportService()
{
}

void ReportService::Send(const std::string& tagText, const std::string& pcid,
                         const std::map<std::string, std::string>& parameters, const void* maker)
{
    boost::mutex::scoped_lock lock(sMutex);
    if (sInstance.mode != Dropping)
        AddLocked(Report{tagText, pcid, parameters, ""}, maker, sInstance.holdUntilSaved);
}

void ReportService::Send(RefTag tag, const std::string& pcid, const std::map<std::string, std::string>& parameters,
                         const void* maker)
{
    Send(sInstance.tagTexts.at(tag), pcid, parameters, maker);
}

void ReportService::Send(RefTag tag, const std::string& pcid)
{
    Send(tag, pcid, std::map<std::string, std::string>());
}

void ReportService::Send(RefTag tag, const std::map<std::string, std::string>& parameters)
{
    Send(tag, std::string(), parameters);
}

void ReportService::Send(RefTag tag)
{
    Send(tag, std::string(), std::map<std::string, std::string>());
}

ReportService::RefTag ReportService::NetworkErrorToRefTag(Download::NetworkErrorType type)
{
    const auto found = sInstance.errorTags.find(type);
    return found == sInstance.errorTags.end() ? DlOk : found->second;
}

void ReportService::ClearPending()
{
    boost::mutex::scoped_lock lock(sMutex);
    // Stopped even when no report has started it yet: a worker that was never started would
    // otherwise be started by the next report.
    sInstance.worker.Cancel(false);
    sIsRunning = false;
    sInstance.mode = Dropping;
    sInstance.pending.clear();
}

void ReportService::HoldUntilSaved(const std::string& answeredFile)
{
    boost::mutex::scoped_lock lock(sMutex);
    sInstance.holdUntilSaved = true;
    sInstance.answered.Open(answeredFile);
}

unsigned long long ReportService::Made()
{
    boost::mutex::scoped_lock lock(sMutex);
    return sInstance.made;
}

std::vector<Report> ReportService::ForSave(const std::map<const void*, unsigned long long>& written)
{
    std::vector<Report> reports;
    boost::mutex::scoped_lock lock(sMutex);
    for (Pending& report : sInstance.pending) {
        // Written before it made this report, the maker is saved as not having handed it over:
        // the save must not hold the report either, or a crash would have it sent twice.
        const auto maker = written.find(report.maker);
        if (maker != written.end() && report.number >= maker->second)
            continue;
        report.saved = true;
        reports.push_back(report.report);
    }
    sInstance.lastSaved.clear();
    for (const Report& report : reports)
        sInstance.lastSaved.insert(report.id);
    return reports;
}

void ReportService::SendSaved(bool landed)
{
    boost::mutex::scoped_lock lock(sMutex);
    if (landed)
        sInstance.answered.SaveLanded(sInstance.lastSaved);
    for (Pending& report : sInstance.pending)
        if (report.state == Pending::Held && (report.saved || !landed))
            QueueLocked(report);
}

void ReportService::Restore(const Report& report)
{
    if (sInstance.answered.AnsweredBefore(report.id)) {
        Debug::LogString("ReportService: the store answered " + report.tagText + " before the program ended; not sent again");
        return;
    }
    boost::mutex::scoped_lock lock(sMutex);
    if (sInstance.mode != Dropping)
        AddLocked(report, nullptr, false);
}

void ReportService::Stop()
{
    {
        boost::mutex::scoped_lock lock(sMutex);
        if (sInstance.mode == Sending)
            sInstance.mode = Keeping;
    }
    // Not under the lock: the request under way takes it as it ends.
    sInstance.worker.Cancel(true);
}

std::string ReportService::NewId()
{
    static std::mt19937_64 generator{std::random_device()()};
    std::ostringstream id;
    id << std::hex << std::setfill('0') << std::setw(16) << generator();
    return id.str();
}

void ReportService::AddLocked(Report report, const void* maker, bool held)
{
    if (report.id.empty())
        report.id = NewId();
    sInstance.pending.push_back(Pending{sInstance.made++, maker, report,
                                        CreateUrl(report.tagText, report.pcid, report.parameters), Pending::Held, false});
    if (!held)
        QueueLocked(sInstance.pending.back());
}

void ReportService::QueueLocked(Pending& report)
{
    report.state = Pending::Queued;
    if (sInstance.mode != Sending)
        return;
    if (!sIsRunning) {
        try {
            sInstance.worker.Start();
        } catch (const Vantor::Threading::ServerThread::ServerAlreadyRunningException&) {
            // Stopped meanwhile: the report waits for the last save.
            return;
        }
        sIsRunning = true;
    }
    // One item per queued report.
    sInstance.worker.EnqueueWork(boost::bind(&ReportService::SendNext, &sInstance, boost::placeholders::_1));
}

void ReportService::SendNext(const Vantor::Threading::WorkMessage& message)
{
    if (&message == &Vantor::Threading::WorkMessage::Cancel)
        abandoned = true;
    if (&message != &Vantor::Threading::WorkMessage::Run)
        return;
    unsigned long long number;
    std::string url, id;
    {
        boost::mutex::scoped_lock lock(sMutex);
        const auto next = std::find_if(pending.begin(), pending.end(),
                                       [](const Pending& queued) { return queued.state == Pending::Queued; });
        if (next == pending.end())
            return;
        next->state = Pending::Tried;
        number = next->number;
        url = next->url;
        id = next->report.id;
    }

    const Download::ProxyHost proxy = Download::GetProxyHost();
    const std::string referer = ReportBaseUrl();
    CURL* handle = curl_easy_init();
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &ReportService::OnCurlWriteData);
    Answer answer{this, id, false};
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &ReportService::OnCurlHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &answer);
    // Through an HTTP proxy, the proxy's word that its tunnel stands is no answer of the store's.
    curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &ReportService::OnCurlProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.host.c_str());
    curl_easy_setopt(handle, CURLOPT_PROXYPORT, static_cast<long>(proxy.port));
    curl_easy_setopt(handle, CURLOPT_PROXYTYPE, static_cast<long>(proxy.type));
    curl_easy_setopt(handle, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(handle, CURLOPT_REFERER, referer.c_str());

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_OK) {
        Debug::LogString("reftag post success: " + url);
    } else {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        Debug::LogString((boost::format("reftag post failed. curl: %1%, response: %2%, url: %3%") % static_cast<int>(result)
                          % status % url).str());
    }
    curl_easy_cleanup(handle);
    if (!answer.noted)
        return;
    {
        boost::mutex::scoped_lock lock(sMutex);
        // Gone already when ClearPending dropped it meanwhile.
        const auto answered = std::find_if(pending.begin(), pending.end(),
                                           [number](const Pending& sent) { return sent.number == number; });
        if (answered != pending.end())
            pending.erase(answered);
    }
    // The saved queue still holds it until the next save, which is asked for now: the note can
    // go with it.
    saver();
}

void ReportService::SetSaver(const std::function<void()>& asked)
{
    sInstance.saver.Set(asked);
}

size_t ReportService::OnCurlWriteData(void*, size_t size, size_t count, void*)
{
    return size * count;
}

size_t ReportService::OnCurlHeader(char* data, size_t size, size_t count, void* pending)
{
    // The store's status line is its answer, whatever its body does after it (breaks off, stalls).
    // Noted at once, and before the report leaves the list, so that a save that still holds it
    // keeps the note. Only a kill between the answer and the note can have a later start send
    // it again: the store may have it already, which the program can't know.
    Answer& answer = *static_cast<Answer*>(pending);
    if (!answer.noted && Vantor::Net::HttpStatusOf(std::string(data, size * count)) >= 200) {
        answer.service->answered.Note(answer.id);
        answer.noted = true;
    }
    return size * count;
}

int ReportService::OnCurlProgress(void* service, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<ReportService*>(service)->abandoned ? 1 : 0;
}

std::string CreateUrl(std::string tagText, const std::string& pcid, const std::map<std::string, std::string>& parameters)
{
    CURL* handle = curl_easy_init();
    std::string url = ReportBaseUrl() + "ref=" + tagText + "?os=linux";
    if (!pcid.empty())
        url += "&pcid=" + StringUtility::MakeUTF8(pcid);
    url += "&ruqver=" + UrlEncode(handle, Vantor::Settings::ProgramVersion().ToString());
    url += "&locale=" + UrlEncode(handle, Vantor::Localization::TranslationService::Instance()->GetLocale());
    for (const auto& parameter : parameters) {
        if (!parameter.first.empty() && !parameter.second.empty())
            url += "&" + StringUtility::MakeUTF8(parameter.first) + "=" + UrlEncode(handle, parameter.second);
    }
    curl_easy_cleanup(handle);
    return url;
}

std::string UrlEncode(CURL* handle, const std::string& text)
{
    char* escaped = curl_easy_escape(handle, text.c_str(), static_cast<int>(text.size()));
    if (!escaped)
        return std::string();
    const std::string result(escaped);
    curl_free(escaped);
    return result;
}

} // namespace Vantor::Reporting
