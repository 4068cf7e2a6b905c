#include "core/net/Download.h"

#include "core/diagnostic/Debug.h"

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/predicate.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/algorithm/string/trim.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

namespace Vantor::Net {

using Vantor::Diagnostic::Debug;

namespace {

// The state and the counters are written by the transfer thread and read without the lock
// by any other thread (the list's progress bar, pause and cancel); these make such reads
// whole values.
template <class T>
T Load(const T& value)
{
    return __atomic_load_n(&value, __ATOMIC_ACQUIRE);
}

template <class T>
void Store(T& value, T newValue)
{
    __atomic_store_n(&value, newValue, __ATOMIC_RELEASE);
}

const char kStatusLine[] = "HTTP/";
const char kContentRange[] = "content-range: bytes ";
const char kContentType[] = "content-type:";
const char kContentEncoding[] = "content-encoding:";
const char kContentLength[] = "content-length:";

// A whole text that is a decimal offset (blanks before it allowed).
bool ReadOffset(const std::string& text, long long& offset)
{
    char* end = nullptr;
    errno = 0;
    offset = std::strtoll(text.c_str(), &end, 10);
    return end != text.c_str() && *end == '\0' && errno == 0 && offset >= 0;
}

// "<first>-<last>/<length>" of a partial answer; `length` is -1 for "*", a length not known.
bool ReadRange(const std::string& text, long long& first, long long& last, long long& length)
{
    const std::string::size_type dash = text.find('-');
    const std::string::size_type slash = text.find('/');
    if (dash == std::string::npos || slash == std::string::npos || slash < dash)
        return false;
    length = -1;
    return ReadOffset(text.substr(0, dash), first) && ReadOffset(text.substr(dash + 1, slash - dash - 1), last)
        && first <= last && (text.compare(slash + 1, std::string::npos, "*") == 0 || ReadOffset(text.substr(slash + 1), length));
}

// A media type in one form however it is written: lower case, without its parameters, quotes or
// blanks ("Text/HTML; charset=utf-8" and " \"text/html\" " are both "text/html").
std::string NormalizedMediaType(const std::string& text)
{
    std::string type = boost::to_lower_copy(text.substr(0, text.find(';')));
    type.erase(std::remove_if(type.begin(), type.end(), boost::is_any_of("\"' \t\r\n")), type.end());
    return type;
}

bool IsAsciiLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Each `marker` and the letters and digits after it become "...FILTERED...".
std::string MaskValuesAfter(const std::string& text, const std::string& marker)
{
    std::string masked;
    std::string::size_type position = 0;
    for (std::string::size_type found; (found = text.find(marker, position)) != std::string::npos;) {
        masked.append(text, position, found - position).append("...FILTERED...");
        position = found + marker.size();
        while (position < text.size() && IsAsciiLetterOrDigit(text[position]))
            ++position;
    }
    return masked.append(text, position, std::string::npos);
}

// A transfer that receives less than one byte a second for this long ends as a time-out.
const long kStallSeconds = 30;

// A redirect loop ends as a failure instead of running for ever.
const long kMaxRedirects = 30;

// The body of an answer that is not the file (a redirect's) is a short note: libcurl reads it and
// drops it, to keep the connection. More than this of such bodies fails the transfer.
const long long kDroppedBytesLimit = 1024 * 1024;

// Large receive blocks keep the per-block work (callbacks, stream writes) small beside the copy.
const long kReceiveBufferSize = 512 * 1024;

} // namespace

Download::ProcessSettings& Download::Settings()
{
    static ProcessSettings settings;
    return settings;
}

Download::ProxyHost::ProxyHost()
    : type(HTTP), port(0)
{
}

Download::ProxyHost::ProxyHost(ProxyType type, const char* host, unsigned int port, const char* user, const char* password)
    : host(host), user(user), password(password), type(type), port(port)
{
}

Download::Download(const char* url, long long expectedSize)
    : requestUrl(url),
      bytesReceived(0),
      resumeOffset(0),
      totalBytes(expectedSize),
      outputStream(nullptr),
      networkErrorType(LinkExpired),
      curlHandle(nullptr),
      state(Waiting),
      lastCurlCode(CURLE_OK),
      httpResponseCode(0),
      requestedOffset(0),
      refusedFileLength(-1),
      fileLength(-1),
      answerLength(-1),
      refusal(Refusal::None),
      answerStatus(0),
      rangeEnd(0),
      bodyBytes(0),
      answerReceived(0),
      receivedBefore(0),
      sizeLimit(0)
{
}

Download::~Download()
{
}

void Download::DownloadSync(std::ostream& out)
{
    if (out.fail())
        return;
    {
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (GetState() != Waiting && GetState() != Retrying)
            return;
        outputStream = &out;
        // Under the lock: a save on another thread reads it together with the state.
        networkErrorType = NoError;
        SetState(Downloading);
    }
    OnStarted();

    curlHandle = curl_easy_init();
    Store(resumeOffset, 0LL);

    out.seekp(0, std::ios::end);
    const long long localSize = out.tellp();
    out.seekp(0, std::ios::beg);
    out.clear();

    // A range request, not libcurl's resume: a server that ignores it answers with the
    // whole file, which is then written from the start instead of failing.
    requestedOffset = localSize > 0 ? localSize : 0;
    refusedFileLength = -1;
    refusal = Refusal::None;
    answerStatus = 0;
    headerField.clear();
    rangeEnd = 0;
    bodyBytes = 0;
    answerReceived = 0;
    receivedBefore = 0;
    const std::string range = std::to_string(requestedOffset) + "-";
    if (requestedOffset > 0)
        curl_easy_setopt(curlHandle, CURLOPT_RANGE, range.c_str());
    // The headers are checked also when no range was asked for: a partial answer to a
    // request for the whole file must not pass for the file.
    curl_easy_setopt(curlHandle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curlHandle, CURLOPT_HEADERFUNCTION, &Download::OnCurlHeaders);
    // Only the server's own answers are read: a proxy's word that its tunnel stands is none.
    curl_easy_setopt(curlHandle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);

    curl_easy_setopt(curlHandle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curlHandle, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(curlHandle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curlHandle, CURLOPT_WRITEFUNCTION, &Download::OnCurlWriteData);
    curl_easy_setopt(curlHandle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curlHandle, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(curlHandle, CURLOPT_XFERINFOFUNCTION, &Download::OnCurlProgress);
    curl_easy_setopt(curlHandle, CURLOPT_URL, requestUrl.c_str());
    // Queue files come from outside: their addresses, and every redirect, stay on the web.
    curl_easy_setopt(curlHandle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curlHandle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curlHandle, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(curlHandle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curlHandle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(curlHandle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curlHandle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curlHandle, CURLOPT_LOW_SPEED_TIME, kStallSeconds);
    ApplyProcessSettings(curlHandle);
    curl_easy_setopt(curlHandle, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curlHandle, CURLOPT_DEBUGFUNCTION, &Download::OnCurlDebugHeaders);

    const auto started = std::chrono::steady_clock::now();
    CURLcode result = curl_easy_perform(curlHandle);
    const auto ended = std::chrono::steady_clock::now();

    const char* url = nullptr;
    curl_easy_getinfo(curlHandle, CURLINFO_EFFECTIVE_URL, &url);
    effectiveUrl = url ? url : "";

    result = ResultOfAnswer(result);

    {
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (GetState() == Pausing)
            SetState(Paused);
        else if (GetState() == Canceling)
            SetState(Canceled);
        else
            SetStateFromCURLcode(result);
    }

    const long long seconds = std::chrono::duration_cast<std::chrono::microseconds>(ended - started).count() / 1000000;
    const long long speed = seconds == 0 ? 0 : Load(bytesReceived) / seconds;
    Debug::LogString("Download: Finished (" + GetStateString() + " at " + std::to_string(speed / 1024) + " KB/s) "
                     + FilterHash(effectiveUrl));

    curl_easy_cleanup(curlHandle);
    curlHandle = nullptr;
    outputStream = nullptr;
    OnFinished();
}

void Download::ApplyProcessSettings(CURL* handle)
{
    // The application's proxy setting is the only one: proxy variables of the environment
    // take no part.
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    ProcessSettings& settings = Settings();
    boost::mutex::scoped_lock lock(settings.mutex);
    const ProxyHost& proxy = settings.proxyHost;
    curl_easy_setopt(handle, CURLOPT_PROXY, proxy.host.c_str());
    curl_easy_setopt(handle, CURLOPT_PROXYPORT, static_cast<long>(proxy.port));
    curl_easy_setopt(handle, CURLOPT_PROXYTYPE, static_cast<long>(proxy.type));
    if (!proxy.user.empty()) {
        // Separate options, so a password holding ':' or '@' reaches the proxy as it is.
        curl_easy_setopt(handle, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
        curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, proxy.user.c_str());
        curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, proxy.password.c_str());
    }
    // libcurl copies every text option, so the lock need not outlive this call.
    if (!settings.userAgent.empty())
        curl_easy_setopt(handle, CURLOPT_USERAGENT, settings.userAgent.c_str());
    if (!settings.certificateAuthorityFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, settings.certificateAuthorityFile.c_str());
}

// What the transfer's result means for the stream: it is done only when the stream holds
// the whole file from its first byte.
CURLcode Download::ResultOfAnswer(CURLcode result)
{
    long status = 0;
    curl_easy_getinfo(curlHandle, CURLINFO_RESPONSE_CODE, &status);
    // Only a range asked for can be refused; a refusal of anything else brings no file at all.
    if (result == CURLE_HTTP_RETURNED_ERROR && status == 416 && requestedOffset > 0 && refusedFileLength >= 0) {
        // Nothing left to fetch: the local data is the whole file, unless the file is known to be
        // of another length.
        if (refusedFileLength == requestedOffset && (fileLength < 0 || fileLength == refusedFileLength))
            return CURLE_OK;
        // The local data runs past the end of the file, so it is no part of this one: emptied,
        // the next try fetches the file whole instead of asking for the same range for ever.
        if (refusedFileLength < requestedOffset && CutOutput(*outputStream, 0)) {
            Debug::LogString("Download: the partial file is longer than the file; it starts over");
            return CURLE_RANGE_ERROR;
        }
    }
    // The server's fault, not the disk's: tried again like any failed answer. A page in place
    // of the file (a login or error page), or a redirect whose body runs on, is the server's
    // error answer.
    if ((result == CURLE_WRITE_ERROR || result == CURLE_ABORTED_BY_CALLBACK) && refusal != Refusal::None)
        return refusal == Refusal::Range                                    ? CURLE_RANGE_ERROR
               : refusal == Refusal::Content || refusal == Refusal::Dropped ? CURLE_HTTP_RETURNED_ERROR
               : refusal == Refusal::Coding                                 ? CURLE_BAD_CONTENT_ENCODING
               : refusal == Refusal::Malformed                              ? CURLE_WEIRD_SERVER_REPLY
                                                                            : CURLE_PARTIAL_FILE;
    if (result != CURLE_OK)
        return result;
    // A redirect that leads nowhere (no target) ends on itself, with no file at all.
    if (status >= 300 && status < 400)
        return CURLE_HTTP_RETURNED_ERROR;
    // An answer without a body brings no file (the local data is the whole file only where
    // the server said so, above).
    if (bodyBytes == 0)
        return CURLE_GOT_NOTHING;
    // A part whose body stops short of the end of its range (shorter than it said, or ended by
    // closing) leaves the rest of the file to fetch.
    if (rangeEnd > 0 && Load(resumeOffset) + bodyBytes != rangeEnd) {
        Debug::LogString("Download: the answer ends before its range does");
        return CURLE_PARTIAL_FILE;
    }
    if (LeftStaleBytes()) {
        Debug::LogString("Download: the whole file is shorter than the partial one, which can't be cut");
        return CURLE_WRITE_ERROR;
    }
    return result;
}

// An answer written from an offset within the local data ends where the file ends; when that
// is before the end of what the stream held, the old bytes behind it are no part of the file.
// Only an output that can't be cut keeps them (AcceptsAnswer).
bool Download::LeftStaleBytes()
{
    return requestedOffset > 0 && static_cast<long long>(outputStream->tellp()) < requestedOffset;
}

bool Download::CanPause()
{
    const State current = GetState();
    return current == Waiting || current == Downloading;
}

void Download::Pause()
{
    bool paused = false;
    {
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (!CanPause())
            return;
        SetState(GetState() == Downloading ? Pausing : Paused);
        paused = GetState() == Paused && AnnouncesEndAtOnce();
    }
    if (paused)
        OnFinished();
}

bool Download::CanCancel()
{
    const State current = GetState();
    return current != Downloaded && current != Pausing && current != Canceled && current != Canceling;
}

void Download::Cancel()
{
    bool canceled = false;
    {
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        if (!CanCancel())
            return;
        const State current = GetState();
        SetState(current == Downloading || current == Pausing ? Canceling : Canceled);
        canceled = GetState() == Canceled && AnnouncesEndAtOnce();
    }
    if (canceled)
        OnFinished();
}

int Download::PercentOf(long long received) const
{
    const long long total = Load(totalBytes);
    return total > 0 ? static_cast<int>((received + Load(resumeOffset)) * 100 / total) : 0;
}

int Download::GetPercentCompleted() const
{
    return PercentOf(Load(bytesReceived));
}

Download::State Download::GetState() const
{
    return Load(state);
}

void Download::SetState(State newState)
{
    bool changed = false;
    {
        boost::recursive_mutex::scoped_lock lock(stateMutex);
        changed = Load(state) != newState;
        if (changed)
            Store(state, newState);
    }
    if (changed) {
        stateChanged.notify_all();
        OnStateChanged(newState);
    }
}

void Download::WaitWhileState(State current, std::chrono::steady_clock::time_point deadline)
{
    boost::recursive_mutex::scoped_lock lock(stateMutex);
    stateChanged.wait_until(lock, deadline, [&] { return GetState() != current; });
}

const char* Download::EffectiveUrl() const
{
    return effectiveUrl.c_str();
}

void Download::OnStateChanged(State newState)
{
    StateChangedSignal.emit(*this, newState);
}

void Download::OnProgressChanged()
{
    if (Load(totalBytes) == 0)
        ProgressChangedSignal.emit(*this, Bytes, Load(bytesReceived));
    else
        ProgressChangedSignal.emit(*this, Percent, GetPercentCompleted());
}

void Download::OnStarted()
{
    StartedSignal.emit(*this);
}

void Download::OnFinished()
{
    FinishedSignal.emit(*this);
}

bool Download::AnnouncesEndAtOnce() const
{
    return true;
}

bool Download::AcceptsContentType(const std::string&) const
{
    return true;
}

bool Download::HasRoomFor(long long)
{
    return true;
}

bool Download::CutOutput(std::ostream&, long long)
{
    return false;
}

void Download::SetSizeLimit(long long bytes)
{
    sizeLimit = bytes;
}

bool Download::RanPastSizeLimit() const
{
    return refusal == Refusal::SizeLimit;
}

void Download::SetFileLength(long long length)
{
    fileLength = length;
}

void Download::SetProxyHost(const ProxyHost& proxy)
{
    boost::mutex::scoped_lock lock(Settings().mutex);
    Settings().proxyHost = proxy;
}

Download::ProxyHost Download::GetProxyHost()
{
    boost::mutex::scoped_lock lock(Settings().mutex);
    return Settings().proxyHost;
}

void Download::SetUserAgent(const char* userAgent)
{
    boost::mutex::scoped_lock lock(Settings().mutex);
    Settings().userAgent = userAgent;
}

void Download::SetCertificateAuthorityFile(const char* path)
{
    boost::mutex::scoped_lock lock(Settings().mutex);
    Settings().certificateAuthorityFile = path;
}

bool Download::IsStopping() const
{
    const State current = GetState();
    return current == Canceling || current == Pausing;
}

size_t Download::OnCurlWriteData(void* data, size_t size, size_t count, void* object)
{
    Download* download = static_cast<Download*>(object);
    const size_t length = size * count;
    if (download->IsStopping())
        return ~length;
    const long long end = Load(download->resumeOffset) + download->bodyBytes + static_cast<long long>(length);
    // What a part sends beyond its range would lie behind the end of the file.
    if (download->rangeEnd > 0 && end > download->rangeEnd) {
        Debug::LogString("Download: the answer runs past its range; cut off");
        download->refusal = Refusal::Range;
        return ~length;
    }
    if (download->sizeLimit > 0 && end > download->sizeLimit) {
        Debug::LogString("Download: the answer runs past " + std::to_string(download->sizeLimit) + " bytes; cut off");
        download->refusal = Refusal::SizeLimit;
        return ~length;
    }
    if (!download->HasRoomFor(static_cast<long long>(length)))
        return ~length;
    download->outputStream->write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    if (download->outputStream->fail())
        return ~length;
    download->bodyBytes += static_cast<long long>(length);
    return length;
}

int Download::OnCurlProgress(void* object, curl_off_t totalToDownload, curl_off_t downloaded, curl_off_t, curl_off_t)
{
    Download* download = static_cast<Download*>(object);
    if (download->IsStopping())
        return 42;
    // libcurl counts each answer's body from 0, also the bodies it drops, which reach no write and
    // no bound there: those count here.
    download->answerReceived = std::max(download->answerReceived, static_cast<long long>(downloaded));
    if (download->receivedBefore + download->answerReceived - download->bodyBytes > kDroppedBytesLimit) {
        Debug::LogString("Download: answers that are not the file run past " + std::to_string(kDroppedBytesLimit)
                         + " bytes; cut off");
        download->refusal = Refusal::Dropped;
        return 1;
    }
    Store(download->totalBytes, static_cast<long long>(totalToDownload) + Load(download->resumeOffset));
    const long long received = downloaded;
    if (received == Load(download->bytesReceived))
        return 0;
    const int before = download->PercentOf(Load(download->bytesReceived));
    Store(download->bytesReceived, received);
    if (before != download->PercentOf(received) || Load(download->totalBytes) == 0)
        download->OnProgressChanged();
    return 0;
}

// One header line of the current answer as libcurl hands it over; false stops the transfer. A
// field is read once it is whole: a line that begins with a blank or a tab goes on with the field
// before it (the old line folding of HTTP/1.x), its value joined to that one's by a blank.
bool Download::ReadHeaderLine(const std::string& line)
{
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        if (headerField.empty()) {
            Debug::LogString("Download: the answer goes on with a field it never began");
            refusal = Refusal::Malformed;
            return false;
        }
        headerField = boost::trim_right_copy(headerField) + " " + boost::trim_copy(line);
        return true;
    }
    const std::string field = std::move(headerField);
    headerField.clear();
    if (!field.empty() && !ReadHeaderField(field))
        return false;
    if (const long status = HttpStatusOf(line); status >= 0) {
        answerStatus = status;
        receivedBefore += answerReceived;
        answerReceived = 0;
        answerMediaTypes.clear();
        answerCoding.clear();
        answerRange.clear();
        answerLength = -1;
        rangeEnd = 0;
        return true;
    }
    if (line == "\r\n" || line == "\n")
        return AcceptsAnswer();
    headerField = line;
    return true;
}

// One whole header field of the current answer; false stops the transfer. Names are compared in
// any letter case: HTTP/2 sends them in lower case.
bool Download::ReadHeaderField(const std::string& field)
{
    // A name with a blank in it, before its colon too, is none HTTP knows: "Content-Type : text/html"
    // is no type to libcurl, nor may it be to this program, which would then take a page for the file.
    const std::string::size_type colon = field.find(':');
    if (colon != std::string::npos && field.find_first_of(" \t") < colon) {
        Debug::LogString("Download: the answer names a field with a blank in its name");
        refusal = Refusal::Malformed;
        return false;
    }
    if (boost::istarts_with(field, kContentLength)) {
        long long length = -1;
        answerLength = ReadOffset(boost::trim_copy(field.substr(sizeof kContentLength - 1)), length) ? length : -1;
        return true;
    }
    // Every type the answer names counts, in however many headers or list items, so that a
    // second one can't hide the first.
    if (boost::istarts_with(field, kContentType)) {
        const std::string value = field.substr(sizeof kContentType - 1);
        std::vector<std::string> types;
        boost::split(types, value, boost::is_any_of(","));
        for (const std::string& type : types)
            answerMediaTypes.push_back(NormalizedMediaType(type));
        return true;
    }
    if (boost::istarts_with(field, kContentEncoding)) {
        ReadContentCoding(field.substr(sizeof kContentEncoding - 1));
        return true;
    }
    // Only a partial answer, or a refused range, says where its body belongs.
    if (boost::istarts_with(field, kContentRange) && (answerStatus == 206 || answerStatus == 416))
        return MoveToRangeStart(boost::trim_right_copy(field.substr(sizeof kContentRange - 1)));
    return true;
}

// A transfer asks for no content coding, and none is decoded: a body in one is not the file to
// any caller (a track, the update check's answer, a cover), so every transfer refuses it.
void Download::ReadContentCoding(const std::string& codings)
{
    std::vector<std::string> names;
    boost::split(names, codings, boost::is_any_of(","));
    for (std::string& name : names) {
        boost::trim(name);
        if (answerCoding.empty() && !name.empty() && !boost::iequals(name, "identity"))
            answerCoding = name;
    }
}

// Where a partial answer starts.
bool Download::MoveToRangeStart(const std::string& range)
{
    // One answer has one place: a second, different range would move what was placed by the
    // first.
    if (!answerRange.empty()) {
        if (range == answerRange)
            return true;
        refusal = Refusal::Range;
        return false;
    }
    answerRange = range;
    outputStream->seekp(0, std::ios::end);
    const long long size = outputStream->tellp();
    long long first = 0, last = 0, length = 0;
    // "*/<length>" refuses a range: it starts at or beyond the end of the file.
    if (boost::starts_with(range, "*/")) {
        refusedFileLength = ReadOffset(range.substr(2), length) ? length : -1;
        return true;
    }
    // What a partial answer brings must join the local data and run to the end of a file of
    // known length; anything else would leave a gap or a cut file.
    if (!ReadRange(range, first, last, length) || first > size || length < 0 || last + 1 != length) {
        refusal = Refusal::Range;
        return false;
    }
    outputStream->seekp(first, std::ios::beg);
    Store(resumeOffset, first);
    rangeEnd = last + 1;
    return true;
}

// Once the headers of an answer are in: whether its body may be written. Interim answers,
// redirects and failures bring no body of the file.
bool Download::AcceptsAnswer()
{
    if (answerStatus < 200 || answerStatus >= 300)
        return true;
    // A part that does not say where it belongs, or in how long a file, can't be placed.
    if (answerStatus == 206 && rangeEnd == 0) {
        refusal = Refusal::Range;
        return false;
    }
    if (!answerCoding.empty()) {
        Debug::LogString("Download: the answer is coded as " + answerCoding + ", not the file");
        refusal = Refusal::Coding;
        return false;
    }
    if (answerMediaTypes.empty())
        answerMediaTypes.push_back("");
    for (const std::string& type : answerMediaTypes) {
        if (!AcceptsContentType(type)) {
            Debug::LogString("Download: the answer is " + type + ", not the file");
            refusal = Refusal::Content;
            return false;
        }
    }
    // The answer's body is the file, or the end of it: what it says of the file's length holds.
    if (answerStatus == 206)
        fileLength = rangeEnd;
    else if (answerLength >= 0)
        fileLength = answerLength;
    // A whole file in answer to a resume is written from its start. The old bytes go before the
    // first new one: an answer that breaks off must not leave new bytes followed by old ones,
    // which the next try would take for the file's beginning.
    if (answerStatus != 206 && requestedOffset > 0 && CutOutput(*outputStream, 0))
        requestedOffset = 0;
    return true;
}

size_t Download::OnCurlHeaders(void* data, size_t size, size_t count, void* object)
{
    const size_t length = size * count;
    const std::string line(static_cast<const char*>(data), length);
    return static_cast<Download*>(object)->ReadHeaderLine(line) ? length : ~length;
}

int Download::OnCurlDebugHeaders(CURL*, curl_infotype type, char* data, size_t size, void*)
{
    if (!data || size == 0)
        return 0;
    if (type == CURLINFO_HEADER_IN)
        Debug::LogString("Header Recv: " + FilterHash(std::string(data, size)));
    else if (type == CURLINFO_HEADER_OUT)
        Debug::LogString("Header Send: " + FilterHash(std::string(data, size)));
    return 0;
}

long HttpStatusOf(const std::string& headerLine)
{
    if (!boost::starts_with(headerLine, kStatusLine))
        return -1;
    const std::string::size_type blank = headerLine.find(' ');
    return blank == std::string::npos ? 0 : std::strtol(headerLine.c_str() + blank, nullptr, 10);
}

std::string FilterHash(const std::string& text)
{
    std::string filtered = MaskValuesAfter(MaskValuesAfter(text, "&h="), "%26h%3D");
    std::replace(filtered.begin(), filtered.end(), '\n', ' ');
    std::replace(filtered.begin(), filtered.end(), '\r', ' ');
    return filtered;
}

} // namespace Vantor::Net
