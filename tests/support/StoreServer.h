#ifndef TESTS_SUPPORT_STORESERVER_H
#define TESTS_SUPPORT_STORESERVER_H

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDirectory.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace VantorTest {

// The store's web service on 127.0.0.1, played by tests/tools/store_server.py. Paths:
//   /status/<code>              that HTTP status
//   /cut/<size>                 announces <size> bytes, sends half, closes
//   /stall/<size>               announces <size> bytes, sends 100, then nothing
//   /range-from/<start>/<file>  206 with "Content-Range: bytes <start>-..." whatever was asked
//   /redirect?to=<url>          302 to <url>
//   /nolength/<file>            the file with no length announced
//   /nothing                    closes the connection without an answer
//   /cut-once/<file>            half the file and a close the first time; then the file,
//                               from the start of a "bytes=N-" Range when one is asked for
//   /gp/sonvel/ruq-result.html/...  the report endpoint: 200, empty body
//   anything else               the file under the root, whole, status 200 (Range ignored)
// Every request target (path and query) is recorded in arrival order.
class StoreServer {
public:
    explicit StoreServer(const std::string& root);

    // `pathAndQuery` begins with "/".
    std::string Url(const std::string& pathAndQuery) const;
    int Port() const { return port; }
    // The request targets received so far, oldest first.
    std::vector<std::string> Requests() const;
    // Waits until at least `count` requests arrived; false when `timeout` passed first.
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;

private:
    TempDirectory work;
    std::unique_ptr<ChildProcess> process;
    int port;
};

} // namespace VantorTest

#endif
