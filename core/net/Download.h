#ifndef CORE_NET_DOWNLOAD_H
#define CORE_NET_DOWNLOAD_H

#include "core/sigslot/sigslot.h"

#include <boost/noncopyable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/recursive_mutex.hpp>
#include <curl/curl.h>

#include <chrono>
#include <condition_variable>
#include <ostream>
#include <string>
#include <vector>

namespace Vantor::Net {

// One HTTP or HTTPS transfer into a stream the caller owns. DownloadSync runs the transfer on
// the calling thread; other threads may query the state, pause and cancel meanwhile. A
// partial stream is resumed from its size. The process-wide proxy, user agent and trusted
// certificates apply to every transfer from its start on.
class Download : private boost::noncopyable {
public:
    // The numbers are stored in the saved queue.
    enum State {
        Waiting = 0,
        Downloaded = 1,
        Downloading = 2,
        Paused = 3,
        Pausing = 4,
        Canceled = 5,
        Canceling = 6,
        Retrying = 7,
        LocalFileError = 8,
        NetworkError = 9,
        ImportFailed = 10,
        RetryingImport = 11
    };

    enum NetworkErrorType {
        NoError = 0,
        HostNotFound = 1,
        TimedOut = 2,
        ConnectFailed = 3,
        RangeError = 4,
        TransferInterrupted = 5,
        BadContentEncoding = 6,
        NothingReceived = 7,
        MalformedUrl = 8,
        ProxyNotFound = 9,
        LinkExpired = 10,
        HttpError = 11,
        UnknownError = 12
    };

    // What a progress value counts: a percentage, or bytes while no size is announced.
    enum Progress { Percent = 0, Bytes = 1 };

    struct ProxyHost {
        // libcurl's proxy type numbers.
        enum ProxyType { HTTP = 0, SOCKS4 = 4, SOCKS5 = 5 };

        ProxyHost();
        ProxyHost(ProxyType type, const char* host, unsigned int port, const char* user, const char* password);

        std::string host;  // empty: a direct connection
        std::string user;
        std::string password;
        ProxyType type;
        unsigned int port;
    };

    sigslot::signal1<Download&, sigslot::multi_threaded_local> StartedSignal;
    sigslot::signal2<Download&, State, sigslot::multi_threaded_local> StateChangedSignal;
    sigslot::signal3<Download&, Progress, long long, sigslot::multi_threaded_local> ProgressChangedSignal;
    sigslot::signal1<Download&, sigslot::multi_threaded_local> FinishedSignal;

    std::string requestUrl;
    std::string effectiveUrl;
    long long bytesReceived;
    long long resumeOffset;
    long long totalBytes;
    std::ostream* outputStream;
    std::string errorMessage;
    NetworkErrorType networkErrorType;
    CURL* curlHandle;
    State state;
    CURLcode lastCurlCode;
    boost::recursive_mutex stateMutex;
    long httpResponseCode;

    Download(const char* url, long long expectedSize);
    // No transfer may be under way.
    virtual ~Download();

    virtual void DownloadSync(std::ostream& out);
    virtual bool CanPause();
    virtual void Pause();
    virtual bool CanCancel();
    virtual void Cancel();
    virtual std::string GetStateString() const;
    virtual int GetPercentCompleted() const;
    virtual State GetState() const;
    virtual void OnStateChanged(State newState);
    virtual void OnProgressChanged();
    virtual void OnStarted();
    virtual void OnFinished();
    // Whether a pause or cancel that ends the download at once (no transfer to stop)
    // announces that end. Asked under `stateMutex`.
    virtual bool AnnouncesEndAtOnce() const;
    // Whether the final answer's body, of this media type (lower case, without parameters,
    // quotes or blanks; empty when the answer names none), is what was asked for. Asked before
    // any of it is written, for each type the answer names; an answer refused here is a failed
    // transfer.
    virtual bool AcceptsContentType(const std::string& mediaType) const;
    // Whether `bytes` more of the body may be written to the output; asked before each block of
    // it is written. A refusal stops the transfer as a failed write.
    virtual bool HasRoomFor(long long bytes);
    // Cuts `out` to its first `length` bytes where it holds more; false where it can't be cut.
    // Asked where the output's data is no part of the file: a whole file answers a resume, or
    // the file is shorter than the data. An ostream can't be cut, so by default the old bytes
    // would remain behind the file, and the transfer fails as a write.
    virtual bool CutOutput(std::ostream& out, long long length);

    void SetState(State newState);
    // Blocks until the state is no longer `current` or `deadline` has passed. The caller must
    // not hold `stateMutex`.
    void WaitWhileState(State current, std::chrono::steady_clock::time_point deadline);
    // Classifies the end of a transfer: end state, error type and message.
    void SetStateFromCURLcode(CURLcode code);
    const char* EffectiveUrl() const;
    // How far into the file a transfer may write; 0 for no limit. An answer that runs past
    // it is cut off there as a failed transfer, so that an endless body can't fill the disk.
    void SetSizeLimit(long long bytes);
    // The last transfer was cut off at the size limit: what it wrote is no part of the file.
    bool RanPastSizeLimit() const;
    // The length the file is known to have; -1 when it is not known. Each answer whose body is
    // taken for the file and that names the file's length replaces it, so a server that refuses
    // a range as lying at the end of the file is believed only where nothing known says otherwise.
    void SetFileLength(long long length);

    static void SetProxyHost(const ProxyHost& proxy);
    static ProxyHost GetProxyHost();
    static void SetUserAgent(const char* userAgent);
    // A file of PEM certificates to trust for HTTPS in place of the system's; empty for the
    // system's own.
    static void SetCertificateAuthorityFile(const char* path);

    static size_t OnCurlWriteData(void* data, size_t size, size_t count, void* object);
    static int OnCurlProgress(void* object, curl_off_t totalToDownload, curl_off_t downloaded,
                              curl_off_t totalToUpload, curl_off_t uploaded);
    static size_t OnCurlHeaders(void* data, size_t size, size_t count, void* object);
    static int OnCurlDebugHeaders(CURL* handle, curl_infotype type, char* data, size_t size, void* userPointer);

private:
    void ApplyProcessSettings(CURL* handle);
    bool IsStopping() const;
    int PercentOf(long long received) const;
    bool LeftStaleBytes();
    bool ReadHeaderLine(const std::string& line);
    bool ReadHeaderField(const std::string& field);
    bool MoveToRangeStart(const std::string& range);
    void ReadContentCoding(const std::string& codings);
    bool AcceptsAnswer();
    CURLcode ResultOfAnswer(CURLcode result);

    // Woken by every change of the state.
    std::condition_variable_any stateChanged;
    // The local data the current transfer continues: the size its range request asked from; 0
    // when not resuming, or once a whole file in answer has replaced the data.
    long long requestedOffset;
    // The length of the file that a refused range ("*/<length>") names; -1 when none does.
    long long refusedFileLength;
    // See SetFileLength.
    long long fileLength;
    // The answer's "Content-Length"; -1 until it names one.
    long long answerLength;
    // Why the transfer stopped its answer itself, none while it did not: a range that does not
    // continue the local data up to the end of the file, or a body that runs past it; a body
    // that is not what was asked for (`AcceptsContentType`), or one in a content coding; a body
    // that runs past the size limit; a header that HTTP can't read; too much of answers that are
    // not the file.
    enum class Refusal { None, Range, Content, Coding, SizeLimit, Malformed, Dropped };
    Refusal refusal;
    // The header field being read, until the next line shows that it is whole.
    std::string headerField;
    // The answer whose headers are being read. Each answer (an interim one, a redirect, the
    // final one) begins with its status line, so what an earlier one said counts for nothing.
    long answerStatus;
    // Each media type the answer names, in the form `AcceptsContentType` is asked about.
    std::vector<std::string> answerMediaTypes;
    // The first content coding the answer names other than "identity"; empty for none.
    std::string answerCoding;
    // The answer's "Content-Range" value; empty until it names one.
    std::string answerRange;
    // Where the range of a partial answer that continues the local data ends: the end of the
    // file. 0 for any other answer.
    long long rangeEnd;
    // Bytes of the answer's body written by the current transfer.
    long long bodyBytes;
    // Bytes of the body of the current answer received so far, written or dropped; and of the
    // transfer's earlier answers.
    long long answerReceived;
    long long receivedBefore;
    long long sizeLimit;

    // What every transfer of the process uses, read once at each transfer's start.
    struct ProcessSettings {
        boost::mutex mutex;
        ProxyHost proxyHost;
        std::string userAgent;
        std::string certificateAuthorityFile;
    };
    // Built on first use, so that an object that uses it while it is built (the report
    // service) is destroyed before it at exit.
    static ProcessSettings& Settings();
};

// libcurl's result as a network error type.
Download::NetworkErrorType CURLcodeToNetworkErrorType(CURLcode code);

// Masks the "h" parameter (plain and URL-encoded) and turns line breaks into blanks, for logs.
std::string FilterHash(const std::string& text);

// The status a status line names ("HTTP/<version> <status> <reason>"), 0 where it names none;
// -1 for a header line that is no status line.
long HttpStatusOf(const std::string& headerLine);

} // namespace Vantor::Net

#endif
