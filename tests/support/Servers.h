#ifndef TESTS_SUPPORT_SERVERS_H
#define TESTS_SUPPORT_SERVERS_H

// Programs the tests start, among them servers on 127.0.0.1: nginx, proxies, the store stand-in.

#include "tests/support/TempDirectory.h"
#include "tests/support/ThreadSync.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

namespace VantorTest {

// A program stopped by its own process id, never by name; should the test end without stopping
// it, it gets SIGTERM when the thread that started it ends: start servers from the main thread.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::string& logPath)
    {
        // Everything the child needs is made before fork: between fork and exec it may only
        // make calls that are safe in a copy of a threaded process.
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        const std::string failed = "cannot run " + argv[0] + "\n";
        const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
        const int output = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const pid_t parent = getpid();
        pid = input < 0 || output < 0 ? -1 : fork();
        if (pid == 0) {
            if (prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == parent && dup2(input, STDIN_FILENO) >= 0
                && dup2(output, STDOUT_FILENO) >= 0 && dup2(output, STDERR_FILENO) >= 0)
                execvp(args[0], args.data());
            _exit(write(output, failed.data(), failed.size()) < 0 ? 126 : 127);
        }
        const int error = errno;
        close(input);
        close(output);
        if (pid < 0)
            throw std::runtime_error("cannot start " + argv[0] + " logging to " + logPath + ": " + std::strerror(error));
    }
    ~ChildProcess() { Stop(); }

    pid_t Pid() const { return pid; }
    bool Running()
    {
        int status = 0;
        if (exitStatus == -1 && waitpid(pid, &status, WNOHANG) == pid)
            exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exitStatus == -1;
    }
    // 128 + signal number for a signal, 127 when it could not run; -1 when still running.
    int Wait(std::chrono::milliseconds timeout) { return PollUntil([this] { return !Running(); }, timeout) ? exitStatus : -1; }
    void Stop()
    {
        if (Running() && kill(pid, SIGTERM) == 0 && Wait(std::chrono::seconds(5)) == -1 && kill(pid, SIGKILL) == 0)
            Wait(kWaitLimit);
    }

private:
    pid_t pid;
    int exitStatus = -1;
};

// Runs a program to its end: its exit status, or -1 when it had to be killed after `timeout`.
inline int RunProgram(const std::vector<std::string>& argv, const std::string& logPath,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30))
{
    return ChildProcess(argv, logPath).Wait(timeout);
}

inline sockaddr_in Loopback(int port)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port on 127.0.0.1 held bound and never listening while the object lives: a connection to it
// is refused, and no other server can take it meanwhile, however long the test runs.
class ClosedLocalPort {
public:
    ClosedLocalPort() : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0
            || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            close(fd);
            throw std::runtime_error("cannot find a free port");
        }
        port = ntohs(address.sin_port);
    }
    ~ClosedLocalPort() { close(fd); }
    ClosedLocalPort(const ClosedLocalPort&) = delete;
    ClosedLocalPort& operator=(const ClosedLocalPort&) = delete;

    int Port() const { return port; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

private:
    const int fd;
    int port = 0;
};

// A port on 127.0.0.1 that was free a moment ago.
inline int FreeLocalPort()
{
    return ClosedLocalPort().Port();
}

class LocalServer {
public:
    int Port() const { return ports.at(0); }

protected:
    // Starts the program that `argv` gives for `count` free ports. Another program may take a
    // port before the server binds it: one that ends before it listens gets new ports (3 tries).
    void Start(size_t count, const std::function<std::vector<std::string>()>& argv)
    {
        const auto listening = [](int port) {
            const sockaddr_in address = Loopback(port);
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool accepted = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
            close(fd);
            return accepted;
        };
        for (int attempt = 0; attempt < 3; ++attempt) {
            ports.clear();
            for (int port; ports.size() < count;)
                if (std::find(ports.begin(), ports.end(), port = FreeLocalPort()) == ports.end())
                    ports.push_back(port);
            process.reset(new ChildProcess(argv(), work.File("server.log")));
            if (PollUntil([&] { return !process->Running() || std::all_of(ports.begin(), ports.end(), listening); },
                          std::chrono::seconds(10)) && process->Running())
                return;
        }
        throw std::runtime_error("server did not start; its log:\n" + ReadFile(work.File("server.log")));
    }
    std::string Address(const char* scheme, int port, const std::string& path) const
    {
        return scheme + std::string("://127.0.0.1:") + std::to_string(port) + path;
    }

    TempDirectory work;
    std::vector<int> ports;
    std::unique_ptr<ChildProcess> process;
};

// nginx serving the files of a folder with byte ranges, over HTTP and over HTTPS (HTTP/2
// offered) with a certificate made for it alone (for "localhost" and 127.0.0.1). Below
// "/slow/" the same files are sent at 200 KB/s.
class NginxServer : public LocalServer {
public:
    explicit NginxServer(const std::string& root)
    {
        if (RunProgram({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                        work.File("key.pem"), "-out", CertificateFile(), "-days", "2", "-subj", "/CN=localhost", "-addext",
                        "subjectAltName=DNS:localhost,IP:127.0.0.1"}, work.File("openssl.log")) != 0)
            throw std::runtime_error("openssl could not make a certificate:\n" + ReadFile(work.File("openssl.log")));
        Start(2, [&] {
            std::ostringstream conf;
            conf << "daemon off; master_process off; worker_processes 1; pid " << work.File("nginx.pid") << ";\n"
                 << "events { worker_connections 256; }\nhttp {\n  access_log off; default_type application/octet-stream;\n";
            for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
                conf << "  " << temp << "_temp_path " << work.File(temp) << ";\n";
            conf << "  server {\n    listen 127.0.0.1:" << ports[0] << ";\n    listen 127.0.0.1:" << ports[1] << " ssl http2;\n"
                 << "    ssl_certificate " << CertificateFile() << "; ssl_certificate_key " << work.File("key.pem") << ";\n"
                 << "    root " << root << ";\n    location /slow/ { alias " << root << "/; limit_rate 200k; }\n  }\n}\n";
            WriteFile(work.File("nginx.conf"), conf.str());
            return std::vector<std::string>{"nginx", "-p", work.Path(), "-c", work.File("nginx.conf"), "-e", work.File("server.log")};
        });
    }

    std::string HttpUrl(const std::string& path) const { return Address("http", ports[0], path); }
    std::string HttpsUrl(const std::string& path) const { return Address("https", ports[1], path); }
    std::string CertificateFile() const { return work.File("cert.pem"); }
};

// A real proxy: tinyproxy for HTTP (basic authentication when a user name is given), danted
// for SOCKS4 (no authentication), microsocks for SOCKS5 (user name and password when given).
class ProxyServer : public LocalServer {
public:
    enum Kind { Http, Socks4, Socks5 };

    explicit ProxyServer(Kind kind, const std::string& user = "", const std::string& password = "")
    {
        Start(1, [&] {
            const std::string port = std::to_string(ports[0]), conf = work.File("proxy.conf");
            if (kind == Http) {
                WriteFile(conf, "Port " + port + "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\nMaxClients 20\nLogLevel Error\n"
                                "DisableViaHeader Yes\n" + (user.empty() ? "" : "BasicAuth " + user + " " + password + "\n"));
                return std::vector<std::string>{"tinyproxy", "-d", "-c", conf};
            }
            if (kind == Socks4) {
                WriteFile(conf, "logoutput: stderr\ninternal: 127.0.0.1 port = " + port + "\nexternal: 127.0.0.1\nclientmethod: none\n"
                                "socksmethod: none\nuser.privileged: root\nuser.unprivileged: nobody\n"
                                "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\nsocks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp }\n");
                return std::vector<std::string>{"danted", "-f", conf, "-N", "1", "-p", work.File("danted.pid")};
            }
            std::vector<std::string> argv = {"microsocks", "-i", "127.0.0.1", "-p", port};
            if (!user.empty())
                argv.insert(argv.end(), {"-u", user, "-P", password});
            return argv;
        });
    }
};

// The store's web service, played by tests/tools/store_server.py (which lists its paths).
class StoreServer : public LocalServer {
public:
    // It takes a port of the system's choosing and names it once it listens: a port chosen here
    // could be taken by another test's server, which would then answer in its place.
    explicit StoreServer(const std::string& root)
    {
        const char* tools = std::getenv("VANTOR_TEST_TOOLS");
        process.reset(new ChildProcess({"python3", std::string(tools ? tools : "tests/tools") + "/store_server.py", root,
                                        work.File("port"), work.File("requests.log")}, work.File("server.log")));
        if (!PollUntil([&] { return !process->Running() || boost::filesystem::exists(work.File("port")); }, std::chrono::seconds(10))
            || !process->Running())
            throw std::runtime_error("store server did not start:\n" + ReadFile(work.File("server.log")));
        ports = {std::stoi(ReadFile(work.File("port")))};
    }

    std::string Url(const std::string& pathAndQuery) const { return Address("http", ports[0], pathAndQuery); }
    // Path and query of each request so far; a line still being written is none yet.
    std::vector<std::string> Requests() const
    {
        std::istringstream log(ReadFile(work.File("requests.log")));
        std::vector<std::string> requests;
        for (std::string line; std::getline(log, line) && !log.eof();)
            requests.push_back(line);
        return requests;
    }
    bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const
    {
        return PollUntil([&] { return Requests().size() >= count; }, timeout);
    }
};

} // namespace VantorTest

#endif
