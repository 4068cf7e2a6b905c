#include "tests/support/LocalPorts.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDirectory.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace VantorTest {

namespace {

sockaddr_in LoopbackAddress(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool Accepts(int port)
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address = LoopbackAddress(port);
    bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

} // namespace

int FreeLocalPort()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("cannot find a free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

bool WaitUntilListening(int port, ChildProcess& process, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.Running())
            return false;
        if (Accepts(port))
            return process.Running();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<int> StartOnFreePorts(size_t portCount, const std::string& logPath,
                                  const std::function<std::unique_ptr<ChildProcess>(const std::vector<int>&)>& start,
                                  std::unique_ptr<ChildProcess>& process)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<int> ports;
        while (ports.size() < portCount) {
            int port = FreeLocalPort();
            if (std::find(ports.begin(), ports.end(), port) == ports.end())
                ports.push_back(port);
        }
        process = start(ports);
        bool listening = true;
        for (int port : ports)
            listening = listening && WaitUntilListening(port, *process, std::chrono::seconds(10));
        if (listening)
            return ports;
        process.reset();
    }
    throw std::runtime_error("server did not start; its log:\n" + ReadFile(logPath));
}

} // namespace VantorTest
