#include "tests/support/ProxyServer.h"

#include "tests/support/LocalPorts.h"

#include <sstream>

namespace VantorTest {

ProxyServer::ProxyServer(Kind kind, const std::string& user, const std::string& password)
    : port(0)
{
    port = StartOnFreePorts(1, work.File("proxy.log"), [&](const std::vector<int>& ports) {
        switch (kind) {
        case Http:
            return StartHttp(ports[0], user, password);
        case Socks4:
            return StartSocks4(ports[0]);
        case Socks5:
            break;
        }
        return StartSocks5(ports[0], user, password);
    }, process)[0];
}

std::unique_ptr<ChildProcess> ProxyServer::StartHttp(int listenPort, const std::string& user, const std::string& password)
{
    std::ostringstream conf;
    conf << "Port " << listenPort << "\n"
         << "Listen 127.0.0.1\n"
         << "Allow 127.0.0.1\n"
         << "Timeout 60\n"
         << "MaxClients 20\n"
         << "LogLevel Error\n"
         << "DisableViaHeader Yes\n";
    if (!user.empty())
        conf << "BasicAuth " << user << " " << password << "\n";
    WriteFile(work.File("tinyproxy.conf"), conf.str());
    return std::unique_ptr<ChildProcess>(
        new ChildProcess({"tinyproxy", "-d", "-c", work.File("tinyproxy.conf")}, work.File("proxy.log")));
}

std::unique_ptr<ChildProcess> ProxyServer::StartSocks4(int listenPort)
{
    std::ostringstream conf;
    conf << "logoutput: stderr\n"
         << "internal: 127.0.0.1 port = " << listenPort << "\n"
         << "external: 127.0.0.1\n"
         << "clientmethod: none\n"
         << "socksmethod: none\n"
         << "user.privileged: root\n"
         << "user.unprivileged: nobody\n"
         << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
         << "socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp }\n";
    WriteFile(work.File("danted.conf"), conf.str());
    return std::unique_ptr<ChildProcess>(new ChildProcess(
        {"danted", "-f", work.File("danted.conf"), "-N", "1", "-p", work.File("danted.pid")}, work.File("proxy.log")));
}

std::unique_ptr<ChildProcess> ProxyServer::StartSocks5(int listenPort, const std::string& user, const std::string& password)
{
    std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", std::to_string(listenPort)};
    if (!user.empty())
        argv.insert(argv.end(), {"-u", user, "-P", password});
    return std::unique_ptr<ChildProcess>(new ChildProcess(argv, work.File("proxy.log")));
}

} // namespace VantorTest
