// Downloads one large file from nginx on loopback, over HTTP and over HTTPS (the server's own
// certificate trusted), each once with the curl program and once through Download into a
// file, and prints throughput, CPU time per GiB and peak resident memory of both, and the
// ratio of their throughputs. Usage: DownloadBench [size in MiB, default 1024]. Needs
// VANTOR_SOURCE_DIR like the tests.
#include "core/localization/TranslationService.h"
#include "core/net/Download.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/NginxServer.h"
#include "tests/support/TempDirectory.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

using namespace VantorTest;

namespace {

const double kMiB = 1024.0 * 1024.0;
const double kGiB = 1024.0 * kMiB;

struct Figures {
    double seconds;
    double cpuSeconds;
    long peakKiB;
};

double CpuSeconds(const rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

void WriteTestFile(const std::string& path, size_t mebibytes)
{
    std::mt19937 generator(7);
    std::string block(1024 * 1024, '\0');
    for (char& byte : block)
        byte = static_cast<char>(generator() & 0xff);
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < mebibytes; ++i) {
        block[i % block.size()] ^= 0x5a;
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

template <class Run>
Figures Measure(int who, Run run)
{
    rusage before, after;
    getrusage(who, &before);
    const auto started = std::chrono::steady_clock::now();
    run();
    const auto ended = std::chrono::steady_clock::now();
    getrusage(who, &after);
    return {std::chrono::duration<double>(ended - started).count(), CpuSeconds(after) - CpuSeconds(before), after.ru_maxrss};
}

void Print(const char* name, const Figures& figures, double bytes)
{
    std::printf("%-14s %8.1f MiB/s  %6.2f CPU s/GiB  peak RSS %7.1f MiB\n", name, bytes / kMiB / figures.seconds,
                figures.cpuSeconds / (bytes / kGiB), figures.peakKiB / 1024.0);
}

} // namespace

int main(int argc, char** argv)
{
    const size_t mebibytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
    TempDirectory root;
    TempDirectory work;
    WriteTestFile(root.File("big.bin"), mebibytes);
    Vantor::Localization::TranslationService::Initialize(work.Path(), "en_US");
    NginxServer nginx(root.Path());
    Vantor::Net::Download::SetCertificateAuthorityFile(nginx.CertificateFile().c_str());
    const double bytes = mebibytes * kMiB;
    std::printf("%zu MiB from nginx on loopback\n", mebibytes);

    for (const std::string& url : {nginx.HttpUrl("/big.bin"), nginx.HttpsUrl("/big.bin")}) {
        const Figures curl = Measure(RUSAGE_CHILDREN, [&] {
            RunProgram({"curl", "-s", "-f", "--noproxy", "*", "--cacert", nginx.CertificateFile(), "-o",
                        work.File("curl.bin"), url},
                       work.File("curl.log"), std::chrono::minutes(10));
        });
        std::remove(work.File("curl.bin").c_str());

        Vantor::Net::Download download(url.c_str(), 0);
        const Figures ours = Measure(RUSAGE_SELF, [&] {
            std::fstream out(work.File("download.bin"), std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
            download.DownloadSync(out);
        });
        std::remove(work.File("download.bin").c_str());
        if (download.GetState() != Vantor::Net::Download::Downloaded) {
            std::printf("the download of %s failed: %s\n", url.c_str(), download.GetStateString().c_str());
            return 1;
        }

        const char* scheme = url.compare(0, 6, "https:") == 0 ? "HTTPS" : "HTTP";
        Print((std::string("curl ") + scheme).c_str(), curl, bytes);
        Print((std::string("Download ") + scheme).c_str(), ours, bytes);
        std::printf("%-5s throughput ratio Download/curl: %.3f\n", scheme, curl.seconds / ours.seconds);
    }
    return 0;
}
