#ifndef TESTS_SUPPORT_LOCALPORTS_H
#define TESTS_SUPPORT_LOCALPORTS_H

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace VantorTest {

class ChildProcess;

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeLocalPort();

// True once something accepts connections on 127.0.0.1:`port`; false when `process` ended
// first or `timeout` passed.
bool WaitUntilListening(int port, ChildProcess& process, std::chrono::milliseconds timeout);

// Starts a server on `portCount` free ports: `start` launches it on the ports it is given.
// Another program may take a port between the look-up and the server's own bind, so a
// server that ends before it listens on all of them is started again on new ports (three
// tries). Returns the ports; throws std::runtime_error with `logPath`'s contents otherwise.
std::vector<int> StartOnFreePorts(size_t portCount, const std::string& logPath,
                                  const std::function<std::unique_ptr<ChildProcess>(const std::vector<int>&)>& start,
                                  std::unique_ptr<ChildProcess>& process);

} // namespace VantorTest

#endif
