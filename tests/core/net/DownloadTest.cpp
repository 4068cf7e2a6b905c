#include "core/net/Download.h"

#include "tests/core/net/TransferTestSupport.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ProxyServer.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <thread>

using Vantor::Net::Download;
using namespace VantorTest;

namespace {

const std::chrono::seconds kWait(10);
const std::string kExpiredText = "Link abgelaufen";

// The files and servers every test here uses; made once for the whole program.
struct Store {
    TempDirectory root;
    TempDirectory translations;
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<StoreServer> store;

    Store()
    {
        WriteFile(root.File("track.bin"), TestBytes(3 * 1024 * 1024, 1));
        WriteFile(root.File("small.bin"), TestBytes(64 * 1024, 2));
        WriteFile(root.File("slow.bin"), TestBytes(2 * 1024 * 1024, 3));
        WriteTranslationFile(translations.File("de_DE.xml"), "de_DE", {{"sonvel_dl_expired", kExpiredText}});
        nginx.reset(new NginxServer(root.Path()));
        store.reset(new StoreServer(root.Path()));
    }
};

Store* gStore = nullptr;

class StoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        gStore = new Store;
        UseTranslations(gStore->translations.Path(), "de_DE");
        Download::SetCertificateAuthorityFile(gStore->nginx->CertificateFile().c_str());
    }
    void TearDown() override
    {
        delete gStore;
        gStore = nullptr;
    }
};

::testing::Environment* const gEnvironment = ::testing::AddGlobalTestEnvironment(new StoreEnvironment);

std::string Served(const std::string& name)
{
    return ReadFile(gStore->root.File(name));
}

class DownloadTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        Download::SetProxyHost(Download::ProxyHost());
        Download::SetUserAgent("");
    }

    // One transfer of `url` into a fresh (or the given partial) file; the file's contents after it.
    std::string Fetch(Download& download, const std::string& partial = "")
    {
        const std::string path = work.File("out.bin");
        WriteFile(path, partial);
        DownloadIntoFile(download, path);
        return ReadFile(path);
    }

    TempDirectory work;
    LogRecorder log;
};

TEST_F(DownloadTest, FetchesOverHttpAndHttpsByteForByte)
{
    for (const std::string& url : {gStore->nginx->HttpUrl("/track.bin"), gStore->nginx->HttpsUrl("/track.bin")}) {
        SCOPED_TRACE(url);
        LogRecorder transferLog;
        Download download(url.c_str(), 0);
        DownloadListener listener(download);
        EXPECT_TRUE(Served("track.bin") == Fetch(download));

        EXPECT_EQ(Download::Downloaded, download.GetState());
        EXPECT_EQ(Download::NoError, download.networkErrorType);
        EXPECT_EQ(200, download.httpResponseCode);
        EXPECT_EQ(url, download.EffectiveUrl());
        EXPECT_EQ(3 * 1024 * 1024, download.totalBytes);
        EXPECT_EQ(100, download.GetPercentCompleted());
        EXPECT_EQ(1, listener.Started());
        EXPECT_EQ(1, listener.Finished());
        EXPECT_EQ((std::vector<Download::State>{Download::Downloading, Download::Downloaded}), listener.States());

        // At most one report per whole percent, rising to 100.
        const auto reports = listener.ProgressReports();
        ASSERT_FALSE(reports.empty());
        for (size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(Download::Percent, reports[i].first);
            if (i > 0) {
                EXPECT_LT(reports[i - 1].second, reports[i].second);
            }
        }
        EXPECT_EQ(100, reports.back().second);
        EXPECT_EQ(1u, transferLog.LinesContaining("Download: Finished (Downloaded at ").size());
        EXPECT_TRUE(transferLog.LinesContaining("libcurl error").empty());
    }
}

TEST_F(DownloadTest, ShortTransferLogsZeroSpeedAndItsUrl)
{
    const std::string url = gStore->nginx->HttpUrl("/small.bin");
    Download download(url.c_str(), 0);
    Fetch(download);
    EXPECT_EQ((std::vector<std::string>{"Download: Finished (Downloaded at 0 KB/s) " + url}),
              log.LinesContaining("Download: Finished"));
}

TEST_F(DownloadTest, UntrustedCertificateFails)
{
    Download::SetCertificateAuthorityFile("");
    Download download(gStore->nginx->HttpsUrl("/small.bin").c_str(), 0);
    EXPECT_EQ("", Fetch(download));
    Download::SetCertificateAuthorityFile(gStore->nginx->CertificateFile().c_str());

    EXPECT_EQ(Download::NetworkError, download.GetState());
    EXPECT_EQ(Download::UnknownError, download.networkErrorType);
    EXPECT_EQ(CURLE_PEER_FAILED_VERIFICATION, download.lastCurlCode);
    EXPECT_EQ("Download failed. Unexpected error: 60", download.GetStateString());
}

TEST_F(DownloadTest, ResumesAtTheLocalSize)
{
    // HTTPS is answered over HTTP/2, whose header names arrive in lower case.
    const std::string whole = Served("track.bin");
    for (const std::string& url : {gStore->nginx->HttpUrl("/track.bin"), gStore->nginx->HttpsUrl("/track.bin")}) {
        SCOPED_TRACE(url);
        Download download(url.c_str(), 0);
        DownloadListener listener(download);
        EXPECT_TRUE(whole == Fetch(download, whole.substr(0, 1000)));

        EXPECT_EQ(Download::Downloaded, download.GetState());
        EXPECT_EQ(206, download.httpResponseCode);
        EXPECT_EQ(1000, download.resumeOffset);
        EXPECT_EQ(static_cast<long long>(whole.size()), download.totalBytes);
        EXPECT_EQ(100, download.GetPercentCompleted());
        ASSERT_FALSE(listener.ProgressReports().empty());
        EXPECT_EQ(100, listener.ProgressReports().back().second);
    }
}

TEST_F(DownloadTest, ResumingACompleteFileFinishesIt)
{
    const std::string whole = Served("small.bin");
    for (const std::string& url : {gStore->nginx->HttpUrl("/small.bin"), gStore->nginx->HttpsUrl("/small.bin")}) {
        SCOPED_TRACE(url);
        Download download(url.c_str(), 0);
        EXPECT_TRUE(whole == Fetch(download, whole));
        EXPECT_EQ(Download::Downloaded, download.GetState());
        EXPECT_EQ(416, download.httpResponseCode);
    }
    // Local data longer than the file is no part of it.
    Download longer(gStore->nginx->HttpUrl("/small.bin").c_str(), 0);
    Fetch(longer, whole + "tail");
    EXPECT_EQ(Download::NetworkError, longer.GetState());
    EXPECT_EQ(Download::HttpError, longer.networkErrorType);
    EXPECT_EQ(416, longer.httpResponseCode);
}

TEST_F(DownloadTest, ResumesWhereTheServerSaysWithinTheLocalData)
{
    const std::string whole = Served("track.bin");
    Download download(gStore->store->Url("/range-from/500/track.bin").c_str(), 0);
    EXPECT_TRUE(whole == Fetch(download, whole.substr(0, 1000)));
    EXPECT_EQ(Download::Downloaded, download.GetState());
    EXPECT_EQ(500, download.resumeOffset);
}

TEST_F(DownloadTest, ServerIgnoringRangeGivesTheWholeFile)
{
    Download download(gStore->store->Url("/track.bin").c_str(), 0);
    EXPECT_TRUE(Served("track.bin") == Fetch(download, std::string(1000, 'x')));
    EXPECT_EQ(Download::Downloaded, download.GetState());
    EXPECT_EQ(200, download.httpResponseCode);
    EXPECT_EQ(0, download.resumeOffset);
    EXPECT_EQ(100, download.GetPercentCompleted());
}

TEST_F(DownloadTest, WholeAnswerShorterThanTheLocalDataIsALocalFileError)
{
    Download download(gStore->store->Url("/small.bin").c_str(), 0);
    Fetch(download, std::string(100 * 1024, 'x'));
    EXPECT_EQ(Download::LocalFileError, download.GetState());
    EXPECT_EQ(Download::NoError, download.networkErrorType);
}

TEST_F(DownloadTest, RangeStartBeyondTheLocalDataIsALocalFileError)
{
    Download download(gStore->store->Url("/range-from/5000/track.bin").c_str(), 0);
    download.errorMessage = "earlier";
    const std::string partial = Served("track.bin").substr(0, 1000);
    EXPECT_TRUE(partial == Fetch(download, partial));

    EXPECT_EQ(Download::LocalFileError, download.GetState());
    EXPECT_EQ(Download::NoError, download.networkErrorType);
    EXPECT_EQ(CURLE_WRITE_ERROR, download.lastCurlCode);
    EXPECT_EQ("earlier", download.errorMessage);
    EXPECT_TRUE(log.LinesContaining("libcurl error").empty());
}

struct Failure {
    std::string url;
    Download::NetworkErrorType type;
    CURLcode code;
    long status;
    std::string message;
};

TEST_F(DownloadTest, ClassifiesServerAnswersAndNetworkFailures)
{
    const std::string retry = "Download failed. Retry download; if problem persists contact customer service.";
    const std::string contact = "Download failed. Please contact customer service.";
    const std::string connect = "Can't connect. Check your Internet connection and retry download.";
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/track.bin";
    // A label longer than 63 characters fails in the resolver itself, without asking a name server.
    const std::string unresolvable = "http://" + std::string(64, 'a') + ".invalid/track.bin";
    const std::vector<Failure> failures = {
        {gStore->store->Url("/status/400"), Download::LinkExpired, CURLE_HTTP_RETURNED_ERROR, 400, kExpiredText},
        {gStore->store->Url("/status/404"), Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 404, contact},
        {gStore->store->Url("/status/500"), Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 500, contact},
        {gStore->store->Url("/cut/100000"), Download::TransferInterrupted, CURLE_PARTIAL_FILE, 200, retry},
        {gStore->store->Url("/nothing"), Download::NothingReceived, CURLE_GOT_NOTHING, 0, retry},
        {refused, Download::ConnectFailed, CURLE_COULDNT_CONNECT, 0, connect},
        {unresolvable, Download::HostNotFound, CURLE_COULDNT_RESOLVE_HOST, 0, connect},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.url);
        LogRecorder transferLog;
        Download download(failure.url.c_str(), 0);
        DownloadListener listener(download);
        Fetch(download);

        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(failure.type, download.networkErrorType);
        EXPECT_EQ(failure.code, download.lastCurlCode);
        EXPECT_EQ(failure.status, download.httpResponseCode);
        EXPECT_EQ(failure.message, download.GetStateString());
        EXPECT_EQ(1, listener.Finished());
        EXPECT_EQ(1u, transferLog.LinesContaining(std::string("libcurl error: ") + curl_easy_strerror(failure.code)).size());
        EXPECT_EQ(1u, transferLog.LinesContaining("Download: Finished (" + failure.message + " at 0 KB/s)").size());
    }
}

TEST_F(DownloadTest, BadAddressesEndClassified)
{
    const std::string contact = "Download failed. Please contact customer service.";
    const std::vector<Failure> failures = {
        {"", Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, contact},
        {"http://[::1", Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, contact},
        {gStore->nginx->HttpUrl("/a file.bin"), Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, contact},
        {gStore->nginx->HttpUrl("/" + std::string(10000, 'a')), Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 414, contact},
        {"ftp://127.0.0.1/track.bin", Download::UnknownError, CURLE_UNSUPPORTED_PROTOCOL, 0,
         "Download failed. Unexpected error: 1"},
    };
    for (const Failure& failure : failures) {
        SCOPED_TRACE(failure.url.substr(0, 80));
        Download download(failure.url.c_str(), 0);
        EXPECT_EQ("", Fetch(download));
        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(failure.type, download.networkErrorType);
        EXPECT_EQ(failure.code, download.lastCurlCode);
        EXPECT_EQ(failure.status, download.httpResponseCode);
        EXPECT_EQ(failure.message, download.GetStateString());
    }
}

TEST_F(DownloadTest, OnlyWebAddressesAreFetchedEvenAfterARedirect)
{
    WriteFile(work.File("secret.txt"), "local secret");
    const std::string local = "file://" + work.File("secret.txt");
    for (const std::string& url : {local, gStore->store->Url("/redirect?to=" + local)}) {
        SCOPED_TRACE(url);
        Download download(url.c_str(), 0);
        EXPECT_EQ("", Fetch(download));
        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(CURLE_UNSUPPORTED_PROTOCOL, download.lastCurlCode);
    }
}

TEST_F(DownloadTest, FollowsRedirectsOnTheWeb)
{
    const std::string target = gStore->nginx->HttpUrl("/small.bin");
    Download download(gStore->store->Url("/redirect?to=" + target).c_str(), 0);
    EXPECT_TRUE(Served("small.bin") == Fetch(download));
    EXPECT_EQ(Download::Downloaded, download.GetState());
    EXPECT_EQ(target, download.EffectiveUrl());
}

TEST_F(DownloadTest, AnswerWithoutLengthReportsBytes)
{
    Download download(gStore->store->Url("/nolength/track.bin").c_str(), 0);
    DownloadListener listener(download);
    EXPECT_TRUE(Served("track.bin") == Fetch(download));
    EXPECT_EQ(Download::Downloaded, download.GetState());

    const auto reports = listener.ProgressReports();
    ASSERT_FALSE(reports.empty());
    for (size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(Download::Bytes, reports[i].first);
        if (i > 0) {
            EXPECT_LT(reports[i - 1].second, reports[i].second);
        }
    }
    EXPECT_EQ(3 * 1024 * 1024, reports.back().second);
}

TEST_F(DownloadTest, ThroughEachKindOfProxy)
{
    struct Case {
        ProxyServer::Kind kind;
        Download::ProxyHost::ProxyType type;
        std::string user;
        std::string password;
    };
    // tinyproxy's configuration can't hold a password with ':' or '@'; microsocks can.
    const std::vector<Case> cases = {
        {ProxyServer::Http, Download::ProxyHost::HTTP, "", ""},
        {ProxyServer::Http, Download::ProxyHost::HTTP, "vantor", "secret"},
        {ProxyServer::Socks4, Download::ProxyHost::SOCKS4, "", ""},
        {ProxyServer::Socks5, Download::ProxyHost::SOCKS5, "vantor", "p:a@ss"},
    };
    for (const Case& proxyCase : cases) {
        ProxyServer proxy(proxyCase.kind, proxyCase.user, proxyCase.password);
        Download::SetProxyHost(Download::ProxyHost(proxyCase.type, "127.0.0.1", proxy.Port(), proxyCase.user.c_str(),
                                                   proxyCase.password.c_str()));
        for (const std::string& url : {gStore->nginx->HttpUrl("/small.bin"), gStore->nginx->HttpsUrl("/small.bin")}) {
            SCOPED_TRACE(url + " through proxy type " + std::to_string(proxyCase.type) + " user " + proxyCase.user);
            Download download(url.c_str(), 0);
            EXPECT_TRUE(Served("small.bin") == Fetch(download));
            EXPECT_EQ(Download::Downloaded, download.GetState());
        }
    }
}

TEST_F(DownloadTest, ProxySettingIsUsed)
{
    const unsigned refusedPort = FreeLocalPort();
    Download::SetProxyHost(Download::ProxyHost(Download::ProxyHost::HTTP, "127.0.0.1", refusedPort, "", ""));
    Download download(gStore->nginx->HttpUrl("/small.bin").c_str(), 0);
    Fetch(download);
    EXPECT_EQ(Download::ConnectFailed, download.networkErrorType);

    Download::SetProxyHost(
        Download::ProxyHost(Download::ProxyHost::HTTP, (std::string(64, 'p') + ".invalid").c_str(), 3128, "", ""));
    Download unresolved(gStore->nginx->HttpUrl("/small.bin").c_str(), 0);
    Fetch(unresolved);
    EXPECT_EQ(Download::ProxyNotFound, unresolved.networkErrorType);
    EXPECT_EQ("Invalid proxy server settings. Please check your preferences.", unresolved.GetStateString());
}

TEST_F(DownloadTest, WrongProxyCredentialsFail)
{
    ProxyServer http(ProxyServer::Http, "vantor", "secret");
    ProxyServer socks(ProxyServer::Socks5, "vantor", "p:a@ss");
    struct Case {
        Download::ProxyHost proxy;
        CURLcode code;
        long status;
    };
    // tinyproxy answers wrong credentials with 401 and missing ones with 407.
    const std::vector<Case> cases = {
        {Download::ProxyHost(Download::ProxyHost::HTTP, "127.0.0.1", http.Port(), "vantor", "wrong"),
         CURLE_HTTP_RETURNED_ERROR, 401},
        {Download::ProxyHost(Download::ProxyHost::HTTP, "127.0.0.1", http.Port(), "", ""), CURLE_HTTP_RETURNED_ERROR, 407},
        {Download::ProxyHost(Download::ProxyHost::SOCKS5, "127.0.0.1", socks.Port(), "vantor", "p:a"), CURLE_PROXY, 0},
    };
    for (const Case& proxyCase : cases) {
        SCOPED_TRACE(proxyCase.proxy.port);
        Download::SetProxyHost(proxyCase.proxy);
        Download download(gStore->nginx->HttpUrl("/small.bin").c_str(), 0);
        EXPECT_EQ("", Fetch(download));
        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(proxyCase.code, download.lastCurlCode);
        EXPECT_EQ(proxyCase.status, download.httpResponseCode);
    }
}

TEST_F(DownloadTest, SendsTheUserAgentAndMasksTheHashInLogs)
{
    Download::SetUserAgent("VantorTest/1.0");
    Download download(gStore->store->Url("/small.bin?a=1&h=0123abcXYZ&b=2").c_str(), 0);
    EXPECT_TRUE(Served("small.bin") == Fetch(download));

    const auto sent = log.LinesContaining("Header Send: GET ");
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("User-Agent: VantorTest/1.0"));
    EXPECT_NE(std::string::npos, sent[0].find("/small.bin?a=1...FILTERED...&b=2 HTTP/1.1 "));
    EXPECT_EQ(std::string::npos, sent[0].find('\n'));
    const auto finished = log.LinesContaining("Download: Finished");
    ASSERT_EQ(1u, finished.size());
    EXPECT_NE(std::string::npos, finished[0].find("/small.bin?a=1...FILTERED...&b=2"));
    EXPECT_TRUE(log.LinesContaining("0123abcXYZ").empty());
}

TEST(FilterHashTest, MasksPlainAndEncodedHashAndLineBreaks)
{
    using Vantor::Net::FilterHash;
    EXPECT_EQ("http://s/t?x=1...FILTERED...&y=2", FilterHash("http://s/t?x=1&h=AbC123&y=2"));
    EXPECT_EQ("u?r=a...FILTERED...%26z%3D1", FilterHash("u?r=a%26h%3DAbC123%26z%3D1"));
    EXPECT_EQ("GET / HTTP/1.1  Host: x  ", FilterHash("GET / HTTP/1.1\r\nHost: x\r\n"));
    EXPECT_EQ("?h=kept", FilterHash("?h=kept"));
    EXPECT_EQ("a...FILTERED......FILTERED...-b", FilterHash("a&h=1&h=2-b"));
    EXPECT_EQ("x...FILTERED...", FilterHash("x&h="));
}

// Transfers from the rate-limited location, stopped from the test's thread.
class SlowDownloadTest : public DownloadTest {
protected:
    SlowDownloadTest() : download(gStore->nginx->HttpUrl("/slow/slow.bin").c_str(), 0), listener(download) {}

    void StartTransfer()
    {
        WriteFile(work.File("out.bin"), "");
        transfer = std::thread([this] { DownloadIntoFile(download, work.File("out.bin")); });
        ASSERT_TRUE(listener.WaitForProgress(kWait));
    }

    void TearDown() override
    {
        if (transfer.joinable())
            transfer.join();
        DownloadTest::TearDown();
    }

    Download download;
    DownloadListener listener;
    std::thread transfer;
};

TEST_F(SlowDownloadTest, PauseFromAnotherThreadThenResume)
{
    StartTransfer();
    download.Pause();
    transfer.join();

    EXPECT_EQ(Download::Paused, download.GetState());
    EXPECT_EQ((std::vector<Download::State>{Download::Downloading, Download::Pausing, Download::Paused}), listener.States());
    EXPECT_EQ(1, listener.Finished());
    EXPECT_EQ(Download::NoError, download.networkErrorType);
    const std::string partial = ReadFile(work.File("out.bin"));
    EXPECT_LT(partial.size(), Served("slow.bin").size());
    EXPECT_EQ(1u, log.LinesContaining("Download: Finished (Paused at ").size());

    // Resumed at full speed from where it stopped.
    download.requestUrl = gStore->nginx->HttpUrl("/slow.bin");
    download.SetState(Download::Waiting);
    DownloadIntoFile(download, work.File("out.bin"));
    EXPECT_EQ(Download::Downloaded, download.GetState());
    EXPECT_EQ(static_cast<long long>(partial.size()), download.resumeOffset);
    EXPECT_TRUE(Served("slow.bin") == ReadFile(work.File("out.bin")));
}

TEST_F(SlowDownloadTest, CancelFromAnotherThread)
{
    download.errorMessage = "earlier";
    StartTransfer();
    download.Cancel();
    transfer.join();

    EXPECT_EQ(Download::Canceled, download.GetState());
    EXPECT_EQ((std::vector<Download::State>{Download::Downloading, Download::Canceling, Download::Canceled}),
              listener.States());
    EXPECT_EQ(1, listener.Finished());
    EXPECT_EQ(Download::NoError, download.networkErrorType);
    EXPECT_EQ("earlier", download.errorMessage);
    EXPECT_EQ(1u, log.LinesContaining("Download: Finished (Canceled at ").size());
    EXPECT_FALSE(download.CanCancel());
}

TEST_F(SlowDownloadTest, CancelWhilePausingDoesNothing)
{
    StartTransfer();
    {
        // Holding the lock keeps the transfer from ending its pause meanwhile.
        boost::recursive_mutex::scoped_lock lock(download.stateMutex);
        download.Pause();
        EXPECT_EQ(Download::Pausing, download.GetState());
        EXPECT_FALSE(download.CanCancel());
        download.Cancel();
        EXPECT_EQ(Download::Pausing, download.GetState());
    }
    transfer.join();
    EXPECT_EQ(Download::Paused, download.GetState());
}

TEST_F(DownloadTest, PauseAndCancelWithoutTransfer)
{
    Download download(gStore->nginx->HttpUrl("/small.bin").c_str(), 1000);
    DownloadListener listener(download);
    EXPECT_EQ(0, download.GetPercentCompleted());
    EXPECT_TRUE(download.CanPause());
    download.Pause();
    EXPECT_EQ(Download::Paused, download.GetState());
    EXPECT_EQ(1, listener.Finished());

    EXPECT_EQ("", Fetch(download));
    EXPECT_EQ(0, listener.Started());
    EXPECT_EQ(Download::Paused, download.GetState());

    download.Cancel();
    EXPECT_EQ(Download::Canceled, download.GetState());
    EXPECT_EQ(2, listener.Finished());
    EXPECT_EQ((std::vector<Download::State>{Download::Paused, Download::Canceled}), listener.States());
}

TEST_F(DownloadTest, FailedStreamStartsNothing)
{
    Download download(gStore->nginx->HttpUrl("/small.bin").c_str(), 0);
    DownloadListener listener(download);
    std::ostringstream stream;
    stream.setstate(std::ios::badbit);
    download.DownloadSync(stream);
    EXPECT_EQ(Download::Waiting, download.GetState());
    EXPECT_EQ(0, listener.Started());
    EXPECT_TRUE(listener.States().empty());
}

TEST_F(DownloadTest, StateTexts)
{
    Download download("http://127.0.0.1/", 0);
    const std::vector<std::pair<Download::State, std::string>> texts = {
        {Download::Waiting, "Waiting"},          {Download::Downloaded, "Downloaded"},
        {Download::Downloading, "Downloading"},  {Download::Paused, "Paused"},
        {Download::Pausing, "Pausing"},          {Download::Canceled, "Canceled"},
        {Download::Canceling, "Canceled"},       {Download::Retrying, "Retrying"},
        {Download::LocalFileError, "Local file error"}, {Download::ImportFailed, "Import failed"},
        {Download::RetryingImport, "Retrying import"},
    };
    for (const auto& text : texts) {
        download.state = text.first;
        EXPECT_EQ(text.second, download.GetStateString());
    }
    download.state = static_cast<Download::State>(12);
    EXPECT_THROW(download.GetStateString(), std::string);
}

TEST_F(DownloadTest, FailureTextStaysAfterTheLanguageChanges)
{
    Download download(gStore->store->Url("/status/400").c_str(), 0);
    Fetch(download);
    UseTranslations(gStore->translations.Path(), "en_US");
    EXPECT_EQ(kExpiredText, download.GetStateString());
    UseTranslations(gStore->translations.Path(), "de_DE");
}

} // namespace
