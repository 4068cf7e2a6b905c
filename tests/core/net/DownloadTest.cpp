#include "core/net/Download.h"

#include "core/localization/TranslationService.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ProxyServer.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"
#include "tests/support/TranslationFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <random>

using Vantor::Net::Download;
using namespace VantorTest;

namespace {

typedef std::vector<std::string> Texts;

std::string State(Download::State state) { return "state " + std::to_string(state); }

// What a transfer announces, from whichever thread: its events in order (State(...),
// "started", "finished") and apart from them its progress reports ("<kind> <value>").
class Announcements : public sigslot::has_slots<sigslot::multi_threaded_local> {
public:
    explicit Announcements(Download& download)
    {
        download.StartedSignal.connect(this, &Announcements::OnStarted);
        download.StateChangedSignal.connect(this, &Announcements::OnState);
        download.ProgressChangedSignal.connect(this, &Announcements::OnProgress);
        download.FinishedSignal.connect(this, &Announcements::OnFinished);
    }
    ~Announcements() override { disconnect_all(); }

    Texts Events() { return events.Entries(); }
    // The progress values; each report must be of `kind`.
    std::vector<long long> Progress(Download::Progress kind)
    {
        std::vector<long long> values;
        for (const std::string& report : progress.Entries()) {
            EXPECT_EQ(std::to_string(kind), report.substr(0, report.find(' '))) << report;
            values.push_back(std::stoll(report.substr(report.find(' ') + 1)));
        }
        return values;
    }
    bool WaitForProgress()
    {
        return progress.WaitUntil([](const Texts& reports) { return !reports.empty(); });
    }

    void OnStarted(Download&) { events.Add("started"); }
    void OnState(Download&, Download::State state) { events.Add(State(state)); }
    void OnProgress(Download&, Download::Progress kind, long long value)
    {
        progress.Add(std::to_string(kind) + " " + std::to_string(value));
    }
    void OnFinished(Download&) { events.Add("finished"); }

private:
    Journal events;
    Journal progress;
};

// `size` bytes that differ from file to file (`seed`) and repeat nowhere nearby.
std::string TestBytes(size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xff);
    return bytes;
}

// One transfer into the file at `path`, resumed from its size, as the download queue does.
void DownloadIntoFile(Download& download, const std::string& path)
{
    close(open(path.c_str(), O_WRONLY | O_CREAT, 0644));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    download.DownloadSync(file);
}

const std::string kExpiredText = "Link abgelaufen";
const std::string kTrack = "track.bin"; // 3 MiB
const std::string kSmall = "small.bin"; // 64 KiB

// The files and servers every test here uses; made on first use, for the whole program.
struct Store {
    TempDirectory root;
    TempDirectory translations;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<StoreServer> store;

    Store()
    {
        WriteFile(root.File(kTrack), TestBytes(3 * 1024 * 1024, 1));
        WriteFile(root.File(kSmall), TestBytes(64 * 1024, 2));
        WriteFile(root.File("slow.bin"), TestBytes(2 * 1024 * 1024, 3));
        WriteTranslationFile(translations.File("de_DE.xml"), "de_DE", {{"sonvel_dl_expired", kExpiredText}});
        Vantor::Localization::TranslationService::Initialize(translations.Path(), "de_DE");
        nginx.reset(new NginxServer(root.Path()));
        store.reset(new StoreServer(root.Path()));
        Download::SetCertificateAuthorityFile(nginx->CertificateFile().c_str());
    }
};

Store& TheStore()
{
    static Store store;
    return store;
}

std::string Served(const std::string& name) { return ReadFile(TheStore().root.File(name)); }
std::string Http(const std::string& path) { return TheStore().nginx->HttpUrl(path); }
std::string Https(const std::string& path) { return TheStore().nginx->HttpsUrl(path); }
std::string Stand(const std::string& path) { return TheStore().store->Url(path); }

class DownloadTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        Download::SetProxyHost(Download::ProxyHost());
        Download::SetUserAgent("");
    }

    // One transfer into a fresh (or the given partial) file; the file's contents after it.
    std::string Fetch(Download& download, const std::string& partial = "")
    {
        WriteFile(work.File("out.bin"), partial);
        DownloadIntoFile(download, work.File("out.bin"));
        return ReadFile(work.File("out.bin"));
    }

    TempDirectory work;
    LogRecorder log;
};

TEST_F(DownloadTest, FetchesByteForByteDirectAndThroughEachProxy)
{
    typedef Download::ProxyHost Proxy;
    // tinyproxy's configuration can't hold a password with ':' or '@'; microsocks can.
    ProxyServer http(ProxyServer::Http), httpAuth(ProxyServer::Http, "vantor", "secret"), socks4(ProxyServer::Socks4),
        socks5(ProxyServer::Socks5, "vantor", "p:a@ss");
    const std::vector<Proxy> proxies = {Proxy(), Proxy(Proxy::HTTP, "127.0.0.1", http.Port(), "", ""),
                                        Proxy(Proxy::HTTP, "127.0.0.1", httpAuth.Port(), "vantor", "secret"),
                                        Proxy(Proxy::SOCKS4, "127.0.0.1", socks4.Port(), "", ""),
                                        Proxy(Proxy::SOCKS5, "127.0.0.1", socks5.Port(), "vantor", "p:a@ss")};
    struct Case {
        std::string url, effective;
        Download::Progress kind;
        long long last;
        Proxy proxy;
    };
    std::vector<Case> cases = {
        {Stand("/nolength/" + kTrack), Stand("/nolength/" + kTrack), Download::Bytes, 3 * 1024 * 1024, Proxy()},
        {Stand("/redirect?to=" + Http("/" + kTrack)), Http("/" + kTrack), Download::Percent, 100, Proxy()},
    };
    for (const Proxy& proxy : proxies)
        for (const std::string& url : {Http("/" + kTrack), Https("/" + kTrack)})
            cases.push_back({url, url, Download::Percent, 100, proxy});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " through proxy type " + std::to_string(c.proxy.type) + " port " + std::to_string(c.proxy.port));
        Download::SetProxyHost(c.proxy);
        LogRecorder transferLog;
        Download download(c.url.c_str(), 0);
        Announcements announced(download);
        EXPECT_TRUE(Served(kTrack) == Fetch(download));
        EXPECT_EQ(Download::Downloaded, download.GetState());
        EXPECT_EQ(200, download.httpResponseCode);
        EXPECT_EQ(c.effective, download.EffectiveUrl());
        EXPECT_EQ(Texts({State(Download::Downloading), "started", State(Download::Downloaded), "finished"}),
                  announced.Events());
        // At most one report per whole percent (or per write without a length), always rising.
        const std::vector<long long> reports = announced.Progress(c.kind);
        ASSERT_FALSE(reports.empty());
        EXPECT_TRUE(std::adjacent_find(reports.begin(), reports.end(), std::greater_equal<long long>()) == reports.end());
        EXPECT_EQ(c.last, reports.back());
        EXPECT_EQ(1u, transferLog.LinesContaining("Download: Finished (Downloaded at ").size());
    }
}

TEST_F(DownloadTest, ResumesFromAPartialFile)
{
    const std::string track = Served(kTrack), small = Served(kSmall), head = track.substr(0, 1000);
    struct Case {
        std::string url;
        const std::string& partial;
        Download::State state;
        long status, offset;
        const std::string* after; // the file afterwards, when it is certain
    };
    const std::string ignored(1000, 'x'), longer(100 * 1024, 'x'), tailed = small + "tail";
    const std::vector<Case> cases = {
        // HTTPS is answered over HTTP/2, whose header names arrive in lower case.
        {Http("/" + kTrack), head, Download::Downloaded, 206, 1000, &track},
        {Https("/" + kTrack), head, Download::Downloaded, 206, 1000, &track},
        {Http("/" + kSmall), small, Download::Downloaded, 416, 0, &small},
        // Local data longer than the file is no part of it.
        {Http("/" + kSmall), tailed, Download::NetworkError, 416, 0, &tailed},
        {Stand("/range-from/500/" + kTrack), head, Download::Downloaded, 206, 500, &track},
        {Stand("/range-from/5000/" + kTrack), head, Download::LocalFileError, 206, 0, &head},
        // A server that ignores Range: its whole answer replaces the local data.
        {Stand("/" + kTrack), ignored, Download::Downloaded, 200, 0, &track},
        {Stand("/" + kSmall), longer, Download::LocalFileError, 200, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " from " + std::to_string(c.partial.size()));
        Download download(c.url.c_str(), 0);
        const std::string result = Fetch(download, c.partial);
        EXPECT_TRUE(!c.after || *c.after == result);
        EXPECT_EQ(c.state, download.GetState());
        EXPECT_EQ(c.status, download.httpResponseCode);
        if (c.state == Download::Downloaded && c.status != 416) {
            EXPECT_EQ(c.offset, download.resumeOffset);
            EXPECT_EQ(100, download.GetPercentCompleted());
        }
    }
}

TEST_F(DownloadTest, ClassifiesServerAnswersAndNetworkFailures)
{
    const std::string retry = "Download failed. Retry download; if problem persists contact customer service.";
    const std::string contact = "Download failed. Please contact customer service.";
    const std::string connect = "Can't connect. Check your Internet connection and retry download.";
    const std::string unexpected = "Download failed. Unexpected error: ";
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/" + kTrack;
    // A label longer than 63 characters fails in the resolver itself, without asking a name server.
    const std::string unresolvable = std::string(64, 'a') + ".invalid";
    // Only web addresses are fetched, also where a redirect leads (libcurl would follow one to FTP).
    WriteFile(work.File("secret.txt"), "local secret");
    const std::string local = "file://" + work.File("secret.txt");
    ProxyServer httpProxy(ProxyServer::Http, "vantor", "secret");
    ProxyServer socksProxy(ProxyServer::Socks5, "vantor", "p:a@ss");
    typedef Download::ProxyHost Proxy;
    const Proxy none;
    struct Case {
        std::string url;
        Proxy proxy;
        Download::NetworkErrorType type;
        CURLcode code;
        long status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {Stand("/status/400"), none, Download::LinkExpired, CURLE_HTTP_RETURNED_ERROR, 400, kExpiredText},
        {Stand("/status/404"), none, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 404, contact},
        {Stand("/status/500"), none, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 500, contact},
        {Stand("/cut/100000"), none, Download::TransferInterrupted, CURLE_PARTIAL_FILE, 200, retry},
        {Stand("/nothing"), none, Download::NothingReceived, CURLE_GOT_NOTHING, 0, retry},
        {refused, none, Download::ConnectFailed, CURLE_COULDNT_CONNECT, 0, connect},
        {"http://" + unresolvable + "/", none, Download::HostNotFound, CURLE_COULDNT_RESOLVE_HOST, 0, connect},
        {"", none, Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, contact},
        {"http://[::1", none, Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, contact},
        {Http("/a file.bin"), none, Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, contact},
        {Http("/" + std::string(10000, 'a')), none, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 414, contact},
        {local, none, Download::UnknownError, CURLE_UNSUPPORTED_PROTOCOL, 0, unexpected + "1"},
        {Stand("/redirect?to=ftp://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/x"), none, Download::UnknownError,
         CURLE_UNSUPPORTED_PROTOCOL, 302, unexpected + "1"},
        {Http("/" + kSmall), Proxy(Proxy::HTTP, "127.0.0.1", FreeLocalPort(), "", ""), Download::ConnectFailed,
         CURLE_COULDNT_CONNECT, 0, connect},
        {Http("/" + kSmall), Proxy(Proxy::HTTP, unresolvable.c_str(), 3128, "", ""), Download::ProxyNotFound,
         CURLE_COULDNT_RESOLVE_PROXY, 0, "Invalid proxy server settings. Please check your preferences."},
        // Wrong proxy credentials: tinyproxy answers wrong ones with 401 and missing ones with 407.
        {Http("/" + kSmall), Proxy(Proxy::HTTP, "127.0.0.1", httpProxy.Port(), "vantor", "wrong"), Download::HttpError,
         CURLE_HTTP_RETURNED_ERROR, 401, contact},
        {Http("/" + kSmall), Proxy(Proxy::HTTP, "127.0.0.1", httpProxy.Port(), "", ""), Download::HttpError,
         CURLE_HTTP_RETURNED_ERROR, 407, contact},
        {Http("/" + kSmall), Proxy(Proxy::SOCKS5, "127.0.0.1", socksProxy.Port(), "vantor", "p:a"), Download::UnknownError,
         CURLE_PROXY, 0, unexpected + "97"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.substr(0, 80) + " proxy port " + std::to_string(c.proxy.port));
        Download::SetProxyHost(c.proxy);
        LogRecorder transferLog;
        Download download(c.url.c_str(), 0);
        Announcements announced(download);
        const std::string written = Fetch(download);
        EXPECT_EQ(c.code == CURLE_PARTIAL_FILE ? 50000u : 0u, written.size());
        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(c.type, download.networkErrorType);
        EXPECT_EQ(c.code, download.lastCurlCode);
        EXPECT_EQ(c.status, download.httpResponseCode);
        EXPECT_EQ(c.message, download.GetStateString());
        EXPECT_EQ("finished", announced.Events().back());
        EXPECT_EQ(1u, transferLog.LinesContaining(std::string("libcurl error: ") + curl_easy_strerror(c.code)).size());
        EXPECT_EQ(1u, transferLog.LinesContaining("Download: Finished (" + c.message + " at 0 KB/s)").size());
    }
}

TEST_F(DownloadTest, UntrustedCertificateFails)
{
    Download download(Https("/" + kSmall).c_str(), 0);
    Download::SetCertificateAuthorityFile("");
    EXPECT_EQ("", Fetch(download));
    Download::SetCertificateAuthorityFile(TheStore().nginx->CertificateFile().c_str());
    EXPECT_EQ(Download::NetworkError, download.GetState());
    EXPECT_EQ(CURLE_PEER_FAILED_VERIFICATION, download.lastCurlCode);
}

TEST_F(DownloadTest, SendsTheUserAgentAndMasksTheHashInLogs)
{
    Download::SetUserAgent("VantorTest/1.0");
    Download download(Stand("/" + kSmall + "?a=1&h=0123abcXYZ&b=2").c_str(), 0);
    EXPECT_TRUE(Served(kSmall) == Fetch(download));

    const auto sent = log.LinesContaining("Header Send: GET ");
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("User-Agent: VantorTest/1.0"));
    EXPECT_NE(std::string::npos, sent[0].find("/small.bin?a=1...FILTERED...&b=2 HTTP/1.1 "));
    EXPECT_EQ(std::string::npos, sent[0].find('\n'));
    EXPECT_EQ(1u, log.LinesContaining("Download: Finished (Downloaded at 0 KB/s) " +
                                      Stand("/" + kSmall + "?a=1...FILTERED...&b=2")).size());
    EXPECT_TRUE(log.LinesContaining("0123abcXYZ").empty());
    // The hash also when URL-encoded, each of several, and an empty one.
    EXPECT_EQ("u?r=a...FILTERED...%26z%3D1", Vantor::Net::FilterHash("u?r=a%26h%3DAbC123%26z%3D1"));
    EXPECT_EQ("a...FILTERED......FILTERED...-b", Vantor::Net::FilterHash("a&h=1&h=2-b"));
    EXPECT_EQ("x...FILTERED...", Vantor::Net::FilterHash("x&h="));
}

TEST_F(DownloadTest, PauseOrCancelFromAnotherThread)
{
    for (const bool pause : {true, false}) {
        SCOPED_TRACE(pause ? "pause" : "cancel");
        LogRecorder transferLog;
        Download download(Http("/slow/slow.bin").c_str(), 0);
        Announcements announced(download);
        WriteFile(work.File("out.bin"), "");
        BackgroundCall transfer([&] { DownloadIntoFile(download, work.File("out.bin")); }, "slow transfer");
        EXPECT_TRUE(announced.WaitForProgress());
        pause ? download.Pause() : download.Cancel();
        transfer.Join();

        EXPECT_EQ(Texts({State(Download::Downloading), "started", State(pause ? Download::Pausing : Download::Canceling),
                         State(pause ? Download::Paused : Download::Canceled), "finished"}),
                  announced.Events());
        EXPECT_EQ(Download::NoError, download.networkErrorType);
        EXPECT_EQ(1u, transferLog.LinesContaining("Download: Finished (" + download.GetStateString() + " at ").size());
        if (pause) {
            // Resumed at full speed from where it stopped.
            const long long partial = static_cast<long long>(ReadFile(work.File("out.bin")).size());
            download.requestUrl = Http("/slow.bin");
            download.SetState(Download::Waiting);
            DownloadIntoFile(download, work.File("out.bin"));
            EXPECT_EQ(Download::Downloaded, download.GetState());
            EXPECT_EQ(partial, download.resumeOffset);
            EXPECT_TRUE(Served("slow.bin") == ReadFile(work.File("out.bin")));
        }
    }
}

TEST_F(DownloadTest, PausedDownloadDoesNotStart)
{
    Download download(Http("/" + kSmall).c_str(), 1000);
    Announcements announced(download);
    download.Pause();
    EXPECT_EQ("", Fetch(download));
    download.Cancel();
    EXPECT_EQ(Texts({State(Download::Paused), "finished", State(Download::Canceled), "finished"}), announced.Events());
}

// Lasts the full 30 seconds of the stall limit, so it runs on its own.
TEST_F(DownloadTest, StalledBodyEndsAsTimeOut)
{
    Download download(Stand("/stall/100000").c_str(), 0);
    EXPECT_EQ(std::string(100, 's'), Fetch(download));
    EXPECT_EQ(Download::NetworkError, download.GetState());
    EXPECT_EQ(Download::TimedOut, download.networkErrorType);
    EXPECT_EQ(CURLE_OPERATION_TIMEDOUT, download.lastCurlCode);
    EXPECT_EQ("Can't connect. Please contact customer service.", download.GetStateString());
}

} // namespace
