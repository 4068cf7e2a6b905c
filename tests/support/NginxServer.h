#ifndef TESTS_SUPPORT_NGINXSERVER_H
#define TESTS_SUPPORT_NGINXSERVER_H

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDirectory.h"

#include <memory>
#include <string>

namespace VantorTest {

// nginx on 127.0.0.1 serving the files of a folder with byte ranges, over HTTP and over
// HTTPS (HTTP/2 offered) with a certificate made for this server alone. Below "/slow/" the
// same files are sent at 200 KB/s. Runs in the foreground in a folder of its own and is
// stopped by its process id when the object goes away.
class NginxServer {
public:
    explicit NginxServer(const std::string& root);

    // `path` begins with "/".
    std::string HttpUrl(const std::string& path) const;
    std::string HttpsUrl(const std::string& path) const;
    // The certificate to trust for HTTPS (its name is "localhost" and 127.0.0.1).
    std::string CertificateFile() const { return work.File("cert.pem"); }
    int HttpPort() const { return httpPort; }
    int HttpsPort() const { return httpsPort; }

private:
    void MakeCertificate() const;
    void WriteConfiguration(const std::string& root, int plainPort, int tlsPort) const;

    TempDirectory work;
    int httpPort;
    int httpsPort;
    std::unique_ptr<ChildProcess> process;
};

} // namespace VantorTest

#endif
