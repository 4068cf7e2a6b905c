#include "tests/support/NginxServer.h"

#include "tests/support/LocalPorts.h"

#include <boost/filesystem.hpp>

#include <sstream>
#include <stdexcept>

namespace VantorTest {

NginxServer::NginxServer(const std::string& root)
    : httpPort(0), httpsPort(0)
{
    MakeCertificate();
    boost::filesystem::create_directories(work.File("temp"));
    const std::string log = work.File("error.log");
    std::vector<int> ports = StartOnFreePorts(2, log, [&](const std::vector<int>& candidates) {
        WriteConfiguration(root, candidates[0], candidates[1]);
        return std::unique_ptr<ChildProcess>(new ChildProcess(
            {"nginx", "-p", work.Path(), "-c", work.File("nginx.conf"), "-e", log}, log));
    }, process);
    httpPort = ports[0];
    httpsPort = ports[1];
}

void NginxServer::MakeCertificate() const
{
    int status = RunProgram({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                             "-nodes", "-keyout", work.File("key.pem"), "-out", work.File("cert.pem"), "-days", "2",
                             "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"},
                            work.File("openssl.log"));
    if (status != 0)
        throw std::runtime_error("openssl could not make a certificate:\n" + ReadFile(work.File("openssl.log")));
}

void NginxServer::WriteConfiguration(const std::string& root, int plainPort, int tlsPort) const
{
    const std::string temp = work.File("temp");
    std::ostringstream conf;
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << work.File("nginx.pid") << ";\n"
         << "error_log " << work.File("error.log") << " warn;\n"
         << "events { worker_connections 256; }\n"
         << "http {\n"
         << "  access_log off;\n"
         << "  default_type application/octet-stream;\n"
         << "  sendfile on;\n"
         << "  client_body_temp_path " << temp << "/body;\n"
         << "  proxy_temp_path " << temp << "/proxy;\n"
         << "  fastcgi_temp_path " << temp << "/fastcgi;\n"
         << "  uwsgi_temp_path " << temp << "/uwsgi;\n"
         << "  scgi_temp_path " << temp << "/scgi;\n"
         << "  server {\n"
         << "    listen 127.0.0.1:" << plainPort << ";\n"
         << "    listen 127.0.0.1:" << tlsPort << " ssl http2;\n"
         << "    ssl_certificate " << work.File("cert.pem") << ";\n"
         << "    ssl_certificate_key " << work.File("key.pem") << ";\n"
         << "    root " << root << ";\n"
         << "    location /slow/ { alias " << root << "/; limit_rate 200k; }\n"
         << "  }\n"
         << "}\n";
    WriteFile(work.File("nginx.conf"), conf.str());
}

std::string NginxServer::HttpUrl(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(httpPort) + path;
}

std::string NginxServer::HttpsUrl(const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(httpsPort) + path;
}

} // namespace VantorTest
