#include "tests/support/StoreServer.h"

#include <boost/filesystem.hpp>

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace VantorTest {

namespace {

const std::chrono::milliseconds kPollInterval(10);

std::string ToolPath(const std::string& name)
{
    const char* source = std::getenv("VANTOR_SOURCE_DIR");
    if (!source)
        throw std::runtime_error("VANTOR_SOURCE_DIR is not set");
    return std::string(source) + "/tests/tools/" + name;
}

} // namespace

StoreServer::StoreServer(const std::string& root)
    : port(0)
{
    const std::string portFile = work.File("port");
    process.reset(new ChildProcess({"python3", ToolPath("store_server.py"), root, portFile, work.File("requests.log")},
                                   work.File("server.log")));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!boost::filesystem::exists(portFile)) {
        if (!process->Running() || std::chrono::steady_clock::now() >= deadline)
            throw std::runtime_error("store server did not start:\n" + ReadFile(work.File("server.log")));
        std::this_thread::sleep_for(kPollInterval);
    }
    port = std::stoi(ReadFile(portFile));
}

std::string StoreServer::Url(const std::string& pathAndQuery) const
{
    return "http://127.0.0.1:" + std::to_string(port) + pathAndQuery;
}

std::vector<std::string> StoreServer::Requests() const
{
    std::vector<std::string> requests;
    std::string text = ReadFile(work.File("requests.log"));
    // A line still being written is not a request yet.
    text.erase(text.find_last_of('\n') + 1);
    std::istringstream log(text);
    for (std::string line; std::getline(log, line);)
        requests.push_back(line);
    return requests;
}

bool StoreServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Requests().size() < count) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

} // namespace VantorTest
