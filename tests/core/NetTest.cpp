// Transfers, the update check and the outcome reports against local servers and proxies.
#include "core/localization/TranslationService.h"
#include "core/net/UpdateCheck.h"
#include "core/reporting/ReportService.h"
#include "tests/support/LocalPorts.h"
#include "tests/support/LogRecorder.h"
#include "tests/support/NginxServer.h"
#include "tests/support/ProxyServer.h"
#include "tests/support/StoreServer.h"
#include "tests/support/TempDirectory.h"
#include "tests/support/TranslationFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <set>

using Vantor::Net::Download;
using Vantor::Net::UpdateCheck;
using Vantor::Settings::Version;
using Vantor::Reporting::ReportService;
using namespace VantorTest;

namespace {

typedef std::vector<std::string> Texts;
typedef std::vector<std::pair<std::string, std::string>> Pairs;
typedef Download::ProxyHost Proxy;

const std::string kTrack = "track.bin", kSmall = "small.bin", kExpiredText = "Link abgelaufen", kNotFound = "not found";
const std::string kReportPath = "/gp/sonvel/ruq-result.html/", kReportTail = "ruqver=1.0.9&locale=de_DE";

// Files of bytes that repeat nowhere nearby, and the servers; made once for the whole program.
struct Store {
    Store()
    {
        std::mt19937 generator(1);
        std::string bytes((3 << 20) + (64 << 10), '\0');
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(generator() & 0xff); });
        WriteFile(root.File(kTrack), bytes.substr(64 << 10));
        WriteFile(root.File(kSmall), bytes.substr(0, 64 << 10));
    }
    TempDirectory root;
    StoreServer server{root.Path()};
};

Store& TheStore() { static Store store; return store; }
NginxServer& Nginx() { static NginxServer nginx(TheStore().root.Path()); return nginx; }

std::string Served(const std::string& name) { return ReadFile(TheStore().root.File(name)); }
std::string Http(const std::string& path) { return Nginx().HttpUrl(path); }
std::string Https(const std::string& path) { return Nginx().HttpsUrl(path); }
std::string Stand(const std::string& path) { return TheStore().server.Url(path); }

void UseTexts(const std::map<std::string, std::string>& texts, const std::string& locale = "de_DE")
{
    static TempDirectory translations;
    WriteTranslationFile(translations.File(locale + ".xml"), locale, texts);
    Vantor::Localization::TranslationService::Initialize(translations.Path(), locale);
}

class DownloadTest : public ::testing::Test {
protected:
    DownloadTest() { UseTexts({{"sonvel_dl_expired", kExpiredText}}); Download::SetCertificateAuthorityFile(Nginx().CertificateFile().c_str()); }
    ~DownloadTest() override { Download::SetProxyHost(Proxy()); }

    // One transfer into a file, resumed from its size as the queue does; its contents after it.
    std::string Fetch(Download& download, const std::string& partial = "")
    {
        WriteFile(work.File("out.bin"), partial);
        std::fstream file(work.File("out.bin"), std::ios::in | std::ios::out | std::ios::binary);
        download.DownloadSync(file);
        file.close();
        return ReadFile(work.File("out.bin"));
    }

    TempDirectory work;
};

// tinyproxy's configuration can't hold a password with ':' or '@'; microsocks can. HTTP/2 (HTTPS)
// sends header names in lower case. A whole answer to a range request is written from the start,
// which fails when it is shorter than the local data. The logs mask the hash also when
// URL-encoded, each of several, and an empty one.
TEST_F(DownloadTest, FetchesByteForByteResumingPartialFilesDirectAndThroughEachProxy)
{
    Download::SetUserAgent("VantorTest/1.0");
    LogRecorder log;
    ProxyServer http(ProxyServer::Http), httpAuth(ProxyServer::Http, "vantor", "secret"), socks4(ProxyServer::Socks4),
        socks5(ProxyServer::Socks5, "vantor", "p:a@ss");
    const std::string track = Served(kTrack), small = Served(kSmall), head = track.substr(0, 1000), tailed = small + "tail";
    struct Case { std::string url, partial; Download::State state; long status, offset; std::string after, effective = ""; Proxy proxy = Proxy(); };
    std::vector<Case> cases = {{Stand("/nolength/" + kTrack), "", Download::Downloaded, 200, 0, track, Stand("/nolength/" + kTrack)},
                               {Stand("/" + kSmall + "?a=1&h=0123abcXYZ&b=2"), "", Download::Downloaded, 200, 0, small},
                               {Stand("/redirect?to=" + Http("/" + kTrack)), "", Download::Downloaded, 200, 0, track, Http("/" + kTrack)},
                               {Https("/" + kTrack), head, Download::Downloaded, 206, 1000, track},
                               {Http("/" + kSmall), small, Download::Downloaded, 416, 0, small},
                               {Http("/" + kSmall), tailed, Download::NetworkError, 416, 0, tailed},
                               {Stand("/range-from/500/" + kTrack), head, Download::Downloaded, 206, 500, track},
                               {Stand("/range-from/5000/" + kTrack), head, Download::LocalFileError, 206, 0, head},
                               {Stand("/" + kTrack), std::string(1000, 'x'), Download::Downloaded, 200, 0, track},
                               {Stand("/" + kSmall), std::string(100000, 'x'), Download::LocalFileError, 200, 0, ""}};
    for (const Proxy& proxy : {Proxy(), Proxy(Proxy::HTTP, "127.0.0.1", http.Port(), "", ""),
                               Proxy(Proxy::HTTP, "127.0.0.1", httpAuth.Port(), "vantor", "secret"),
                               Proxy(Proxy::SOCKS4, "127.0.0.1", socks4.Port(), "", ""),
                               Proxy(Proxy::SOCKS5, "127.0.0.1", socks5.Port(), "vantor", "p:a@ss")})
        for (const std::string& url : {Http("/" + kTrack), Https("/" + kTrack)})
            cases.push_back({url, "", Download::Downloaded, 200, 0, track, url, proxy});
    for (const Case& c : cases) {
        Download::SetProxyHost(c.proxy);
        Download download(c.url.c_str(), 0);
        const std::string result = Fetch(download, c.partial);
        EXPECT_TRUE(c.after.empty() || c.after == result) << c.url << " from " << c.partial.size() << " via " << c.proxy.port;
        EXPECT_EQ(c.state, download.GetState());
        EXPECT_EQ(c.status, download.httpResponseCode);
        EXPECT_EQ(c.offset, download.resumeOffset);
        EXPECT_TRUE(c.effective.empty() || c.effective == download.EffectiveUrl());
        EXPECT_TRUE(c.status != 206 || c.state != Download::Downloaded || download.GetPercentCompleted() == 100);
    }
    const Texts sent = log.LinesContaining("Header Send: GET /small.bin?a=1...FILTERED...&b=2 HTTP/1.1 ");
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("User-Agent: VantorTest/1.0"));
    EXPECT_EQ(std::string::npos, sent[0].find('\n'));
    EXPECT_EQ(1u, log.LinesContaining(" " + Stand("/" + kSmall + "?a=1...FILTERED...&b=2")).size());
    EXPECT_TRUE(log.LinesContaining("0123abcXYZ").empty());
    EXPECT_EQ("u?r=a...FILTERED...%26z%3D1|a...FILTERED......FILTERED...-b|x...FILTERED...",
              Vantor::Net::FilterHash("u?r=a%26h%3DAbC123%26z%3D1|a&h=1&h=2-b|x&h="));
}

// Failures of one kind share their message, and kinds differ. Only web addresses are fetched,
// also where a redirect leads. A stalled body ends after the 30 seconds of the stall limit.
TEST_F(DownloadTest, ClassifiesServerAnswersAndNetworkFailures)
{
    const std::string unresolvable = std::string(64, 'a') + ".invalid"; // fails without a name server
    WriteFile(work.File("secret.txt"), "local secret");
    ProxyServer httpProxy(ProxyServer::Http, "vantor", "secret");
    const Proxy none, nowhere(Proxy::HTTP, unresolvable.c_str(), 3128, "", ""),
        wrongUser(Proxy::HTTP, "127.0.0.1", httpProxy.Port(), "vantor", "wrong");
    // kind: e(xpired), c(ontact us), r(etry), n(o connection), p(roxy), t(ime-out), u(nexpected)
    struct Case { std::string url; Proxy proxy; Download::NetworkErrorType type; CURLcode code; long status; char kind; size_t written; };
    const std::vector<Case> cases = {
        {Stand("/status/400"), none, Download::LinkExpired, CURLE_HTTP_RETURNED_ERROR, 400, 'e', 0},
        {Stand("/status/404"), none, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 404, 'c', 0},
        {Stand("/cut/100000"), none, Download::TransferInterrupted, CURLE_PARTIAL_FILE, 200, 'r', 50000},
        {Stand("/nothing"), none, Download::NothingReceived, CURLE_GOT_NOTHING, 0, 'r', 0},
        {Stand("/stall/100000"), none, Download::TimedOut, CURLE_OPERATION_TIMEDOUT, 200, 't', 100},
        {"http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/", none, Download::ConnectFailed, CURLE_COULDNT_CONNECT, 0, 'n', 0},
        {"http://" + unresolvable + "/", none, Download::HostNotFound, CURLE_COULDNT_RESOLVE_HOST, 0, 'n', 0},
        {"", none, Download::MalformedUrl, CURLE_URL_MALFORMAT, 0, 'c', 0},
        {"file://" + work.File("secret.txt"), none, Download::UnknownError, CURLE_UNSUPPORTED_PROTOCOL, 0, 'u', 0},
        {Stand("/redirect?to=ftp://127.0.0.1:1/x"), none, Download::UnknownError, CURLE_UNSUPPORTED_PROTOCOL, 302, 'u', 0},
        {Https("/" + kSmall), none, Download::UnknownError, CURLE_PEER_FAILED_VERIFICATION, 0, 'u', 0},
        {Http("/"), nowhere, Download::ProxyNotFound, CURLE_COULDNT_RESOLVE_PROXY, 0, 'p', 0},
        {Http("/"), wrongUser, Download::HttpError, CURLE_HTTP_RETURNED_ERROR, 401, 'c', 0}};
    std::map<char, std::string> messages = {{'e', kExpiredText}};
    std::set<std::string> distinct = {""};
    for (const Case& c : cases) {
        Download::SetProxyHost(c.proxy);
        Download::SetCertificateAuthorityFile(c.code == CURLE_PEER_FAILED_VERIFICATION ? "" : Nginx().CertificateFile().c_str());
        Download download(c.url.c_str(), 0);
        EXPECT_EQ(c.written, Fetch(download).size()) << c.url.substr(0, 80);
        EXPECT_EQ(Download::NetworkError, download.GetState());
        EXPECT_EQ(c.type, download.networkErrorType);
        EXPECT_EQ(c.code, download.lastCurlCode);
        EXPECT_EQ(c.status, download.httpResponseCode);
        const std::string message = download.GetStateString();
        if (c.kind == 'u')
            EXPECT_EQ(": " + std::to_string(c.code), message.substr(message.rfind(':')));
        else
            EXPECT_EQ(messages.emplace(c.kind, message).first->second, *distinct.insert(message).first);
    }
    EXPECT_EQ(7u, distinct.size());
}

std::string Answer(const std::string& products) { return "<?xml version=\"1.0\"?>\n<ArrayOfProduct>" + products + "</ArrayOfProduct>"; }

std::string Product(const std::string& latest, const std::string& criticalSince, const std::string& url = " url=\"http://get/it\"",
                    const std::string& platform = "Linux", const std::string& name = "DownloadManager")
{
    return "<Product name=\"" + name + "\" platform=\"" + platform + "\" latestVersion=\"" + latest + "\"" +
           (criticalSince.empty() ? "" : " criticalSince=\"" + criticalSince + "\"") + url + "/>";
}

// "<latest> <url> [update] [critical]", or "not found" with every field at its default.
std::string Describe(const UpdateCheck::UpdateInfo& info)
{
    const std::string text =
        info.latestVersion.ToString() + " " + info.url + (info.updateAvailable ? " update" : "") + (info.critical ? " critical" : "");
    return info.found ? text : text == "0.0.0 " ? kNotFound : text + " (found not set)";
}

void UpdateAddress(const std::string& url, const std::string& locale = "en_US") { UseTexts({{"sonvel_url_update_check", url}}, locale); }

// Notes each delivered result, with " here" when it came on the test's own thread.
struct Results : Journal, sigslot::has_slots<sigslot::multi_threaded_local> {
    void OnCompleted(UpdateCheck::UpdateInfo info) { Add(Describe(info) + (std::this_thread::get_id() == main ? " here" : "")); }
    const std::thread::id main = std::this_thread::get_id();
};

// Versions compare as numbers. Not newer: "criticalSince" is not even read. The platform carries the
// locale but American English. An answer of 50 MB is refused without holding it all. Destroying the
// check while one runs stops it rather than waiting it out, and delivers nothing.
TEST(UpdateCheck, AsksTheStoreOnItsOwnThreadsAndParsesTheAnswerForThePlatformOfTheLocale)
{
    Results results;
    UpdateAddress(Stand("/update.xml"));
    UpdateCheck check("DownloadManager", "Linux", Version(1, 0, 9));
    WriteFile(TheStore().root.File("update.xml"), Answer(std::string(50 * 1024 * 1024, ' ') + Product("1.1.0", "1.0.0")));
    EXPECT_EQ(kNotFound, Describe(check.CheckSync()));
    EXPECT_EQ(Texts(1, "/update.xml"), TheStore().server.Requests());
    WriteFile(TheStore().root.File("update.xml"), Answer(Product("1.1.0", "1.0.9", " url=\"http://store/new\"")));
    auto async = std::make_unique<UpdateCheck>("DownloadManager", "Linux", Version(1, 0, 9));
    async->UpdateCompletedSignal.connect(&results, &Results::OnCompleted);
    async->CheckAsync();
    async->CheckAsync();
    ASSERT_TRUE(results.WaitFor("1.1.0 http://store/new update critical", 2));
    UpdateAddress("http://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/update.xml");
    async->CheckAsync();
    ASSERT_TRUE(results.WaitFor(kNotFound));
    UpdateAddress(Stand("/stall/1000"));
    async->CheckAsync();
    ASSERT_TRUE(TheStore().server.WaitForRequests(4, kWaitLimit));
    async.reset();
    EXPECT_EQ(3u, results.Entries().size());

    const Pairs cases = {
        {Answer(Product("1.0.10", "1.0.5")), "1.0.10 http://get/it update"}, {Answer(Product("01.0.9", "garbage")), "1.0.9 http://get/it"},
        {Answer(Product("2.0.0", "1.0.9")), "2.0.0 http://get/it update critical"}, {Answer(Product("1.1.0", "1.0.5", "")), "1.1.0  update"},
        {Answer("<Product platform=\"Linux\" latestVersion=\"9.0.0\" criticalSince=\"9.0.0\"/>" + Product("8.0.0", "1.0.0", "", "Windows") +
                Product("7.0.0", "1.0.0", "", "Linux", "X") + Product("1.1.0", "1.0.0", " url=\"first\"") + Product("1.2.0", "1.2.0")),
         "1.1.0 first update"},
        {Answer(Product("1.1.0", "1.0")), kNotFound}, {Answer(Product("1.1.0", "")), kNotFound}, {Answer(""), kNotFound},
        {Answer(Product("1.1.0", "1.0.0", "", "linux")), kNotFound}, {"<Products>" + Product("1.1.0", "1.0.0") + "</Products>", kNotFound},
        {"not XML", kNotFound}, {"", kNotFound}, {"<ArrayOfProduct>" + Product("1.1.0", "1.0.0").substr(0, 40), kNotFound}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, Describe(check.ParseXml(c.first))) << c.first;
    for (const char* version : {"1.0", "1.0.9.1", "1..9", "1.0.x", " 1.0.9", "", "4294967296.0.0", "-1.0.0"})
        EXPECT_EQ(kNotFound, Describe(check.ParseXml(Answer(Product(version, "1.0.0"))))) << version;
    const Version a(1, 0, 10), b(1, 9, 0);
    EXPECT_TRUE(a < b && a <= b && !(a > b) && !(a >= b) && !(a == b) && a == Version(1, 0, 10) && b <= b && b >= b);
    for (const auto& platform : Pairs{{"", "Linux"}, {"en_GB", "Linux-en_uk"}, {"de_DE", "Linux-de_de"}}) {
        UpdateAddress(Stand("/update.xml"), platform.first);
        UpdateCheck localized("DownloadManager", "Linux", Version(1, 0, 9));
        EXPECT_EQ(platform.second == "Linux", localized.ParseXml(Answer(Product("1.1.0", "1.0.0"))).found);
        EXPECT_TRUE(localized.ParseXml(Answer(Product("1.1.0", "1.0.0", "", platform.second))).found) << platform.first;
    }
}

// Each report once, in order, never retried. Clearing drops the queued reports and stops the
// worker for good (each test runs in a process of its own): later reports are dropped too.
TEST(ReportService, SendsTheExactQueriesInOrderAndLogsHowEachWentUntilCleared)
{
    LogRecorder log;
    UseTexts({{"sonvel_url_report_service", Stand(kReportPath)}});
    ReportService::Send(ReportService::DlOk, "B000X");
    ReportService::Send(ReportService::NoMedlib, {{"zeta", "x y&z"}, {"alpha", "1"}, {"empty", ""}, {"", "orphan"}});
    ReportService::Send("dm_ruq_custom", "P-1", {{"k", "v"}});
    ASSERT_TRUE(TheStore().server.WaitForRequests(3, kWaitLimit));
    EXPECT_EQ((Texts{kReportPath + "ref=dm_ruq_dl_ok?os=linux&pcid=B000X&" + kReportTail,
                     kReportPath + "ref=dm_ruq_no_medlib?os=linux&" + kReportTail + "&alpha=1&zeta=x%20y%26z",
                     kReportPath + "ref=dm_ruq_custom?os=linux&pcid=P-1&" + kReportTail + "&k=v"}),
              TheStore().server.Requests());
    ASSERT_TRUE(log.WaitForLine("reftag post success: " + Stand(kReportPath) + "ref=dm_ruq_custom?"));

    UseTexts({{"sonvel_url_report_service", Stand("/status/404/")}});
    ReportService::Send(ReportService::DlErr03);
    EXPECT_TRUE(log.WaitForLine("reftag post failed. curl: 22, response: 404, url: " + Stand("/status/404/ref=dm_ruq_dl_err_03?os=linux&")));
    // Reports stall at this address, so the second one is still queued when the queue is cleared.
    UseTexts({{"sonvel_url_report_service", Stand("/stall/1000/")}});
    ReportService::Send("dm_ruq_first", "", {});
    ReportService::Send("dm_ruq_queued", "", {});
    ASSERT_TRUE(TheStore().server.WaitForRequests(5, kWaitLimit));
    ReportService::ClearPending();
    ReportService::Send("dm_ruq_after", "", {});
    EXPECT_EQ("/stall/1000/ref=dm_ruq_first?os=linux&" + kReportTail, TheStore().server.Requests().back());
    EXPECT_EQ(5u, TheStore().server.Requests().size());
    EXPECT_TRUE(log.LinesContaining("dm_ruq_queued").empty());
}

} // namespace
