#ifndef TESTS_SUPPORT_PROXYSERVER_H
#define TESTS_SUPPORT_PROXYSERVER_H

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDirectory.h"

#include <memory>
#include <string>

namespace VantorTest {

// A real proxy on 127.0.0.1, on a free port, stopped by its process id when the object goes
// away: tinyproxy for HTTP (basic authentication when a user name is given), danted for
// SOCKS4 (no authentication), microsocks for SOCKS5 (user name and password when given).
class ProxyServer {
public:
    enum Kind { Http, Socks4, Socks5 };

    explicit ProxyServer(Kind kind, const std::string& user = "", const std::string& password = "");

    int Port() const { return port; }

private:
    std::unique_ptr<ChildProcess> StartHttp(int listenPort, const std::string& user, const std::string& password);
    std::unique_ptr<ChildProcess> StartSocks4(int listenPort);
    std::unique_ptr<ChildProcess> StartSocks5(int listenPort, const std::string& user, const std::string& password);

    TempDirectory work;
    std::unique_ptr<ChildProcess> process;
    int port;
};

} // namespace VantorTest

#endif
