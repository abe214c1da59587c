// The real binary as a child process, and plain DNS clients for it.
#include "tests/system/quenda_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

namespace quenda::test {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

QuendaProcess::QuendaProcess(const std::string& home, uint16_t port, Stdout output,
                             bool withWindows, const std::vector<std::string>& extra)
    : home_(home) {
    std::vector<std::string> arguments = {QUENDA_BINARY, "--home", home, "--port",
                                          std::to_string(port)};
    if (!withWindows) arguments.insert(arguments.begin() + 1, "--headless");
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    outputStart_ = ReadFile(home + "/stdout.txt").size();
    int closedPipe[2] = {-1, -1};
    if (output == Stdout::kClosedPipe && pipe2(closedPipe, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ != 0) {
        if (closedPipe[0] >= 0) close(closedPipe[0]);
        if (closedPipe[1] >= 0) close(closedPipe[1]);
    }
    if (pid_ == 0) {
        if (closedPipe[0] >= 0) close(closedPipe[0]);  // nobody will ever read
        const int out = closedPipe[1] >= 0 ? closedPipe[1]
                                           : open((home + "/stdout.txt").c_str(),
                                                  O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int err = open((home + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        dup2(out, 1);
        dup2(err, 2);
        execv(QUENDA_BINARY, argv.data());
        _exit(127);
    }
}

QuendaProcess::~QuendaProcess() {
    if (pid_ > 0 && status_ == -1) Stop(SIGKILL);
}

bool QuendaProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (Output().find(text) != std::string::npos) return true;
        if (waitpid(pid_, &status_, WNOHANG) == pid_)
            return Output().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool QuendaProcess::WaitUntilServing(std::chrono::milliseconds timeout) {
    return WaitForOutput("INIT: Add DNS server: ", timeout);
}

int QuendaProcess::Stop(int signal, std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    return Wait(timeout);
}

int QuendaProcess::Wait(std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    int status = 0;
    while (Clock::now() < end) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return WIFEXITED(status) ? status_ : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    status_ = 137;
    return -1;
}

std::string QuendaProcess::Output() const {
    const std::string output = ReadFile(home_ + "/stdout.txt");
    return output.size() > outputStart_ ? output.substr(outputStart_) : "";
}
std::string QuendaProcess::Errors() const {
    return ReadFile(home_ + "/stderr.txt");
}

UdpClient::UdpClient() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
}

UdpClient::~UdpClient() {
    if (fd_ >= 0) close(fd_);
}

void UdpClient::Send(const std::string& data, uint16_t port) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::optional<std::string> UdpClient::Receive(std::chrono::milliseconds timeout) const {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
}

uint16_t UdpClient::Port() const {
    sockaddr_in sa{};
    socklen_t length = sizeof sa;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &length);
    return ntohs(sa.sin_port);
}

std::optional<std::string> AskUdp(const std::string& query, uint16_t port,
                                  std::chrono::milliseconds timeout) {
    UdpClient client;
    client.Send(query, port);
    return client.Receive(timeout);
}

std::string RunCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
    return output;
}

}  // namespace quenda::test
