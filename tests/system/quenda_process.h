// Runs the real quenda binary in a home directory of its own, and talks DNS to it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace quenda::test {

class QuendaProcess {
  public:
    // Where standard output goes: a file in home, or a pipe nobody reads, closed at once
    // (`quenda ... | head -1` once head has ended).
    enum class Stdout { kFile, kClosedPipe };

    // Starts QUENDA_BINARY --headless --home home --port port (without --headless when
    // withWindows) and the extra arguments, standard output and error going to files in home.
    QuendaProcess(const std::string& home, uint16_t port, Stdout output = Stdout::kFile,
                  bool withWindows = false, const std::vector<std::string>& extra = {});
    ~QuendaProcess();
    QuendaProcess(const QuendaProcess&) = delete;
    QuendaProcess& operator=(const QuendaProcess&) = delete;

    // Waits until the start-up lines are out; false when the process ended or time ran out.
    bool WaitUntilServing(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits until standard output holds text.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Sends a signal and waits for the end; the exit status, or -1 on a crash or time-out.
    int Stop(int signal, std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // Waits for the end without a signal.
    int Wait(std::chrono::milliseconds timeout);

    // What this process wrote to standard output (the file may hold earlier runs too).
    std::string Output() const;
    std::string Errors() const;

  private:
    std::string home_;
    size_t outputStart_ = 0;  // length of the output file when this process started
    pid_t pid_ = -1;
    int status_ = -1;
};

// Sends query over UDP to 127.0.0.1:port and returns the first datagram that comes back
// within the time-out.
std::optional<std::string> AskUdp(const std::string& query, uint16_t port,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(3));

// A UDP socket bound to an ephemeral port on 127.0.0.1, for several queries in flight.
class UdpClient {
  public:
    UdpClient();
    ~UdpClient();
    void Send(const std::string& data, uint16_t port) const;
    std::optional<std::string> Receive(std::chrono::milliseconds timeout) const;
    uint16_t Port() const;

  private:
    int fd_ = -1;
};

// Runs a shell command and returns its standard output.
std::string RunCommand(const std::string& command);

std::string ReadFile(const std::string& path);

}  // namespace quenda::test
