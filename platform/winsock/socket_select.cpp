// select over Winsock's array-form socket sets, by poll.
#include <poll.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "platform/winsock/socket_table.h"
#include "platform/winsock/winsock_errors.h"
#include "platform/winsock/winsock_impl.h"

namespace quenda::wsock {

namespace {

struct Watched {
    SOCKET socket;
    bool read = false;
    bool write = false;
    bool except = false;
};

// Adds the members of set to watched; false when one is not a socket of ours.
bool Collect(const WS_fd_set* set, bool Watched::*which, std::vector<Watched>& watched) {
    if (set == nullptr) return true;
    for (uint32_t i = 0; i < set->fd_count; ++i) {
        SOCKET s = set->fd_array[i];
        if (FindSocket(s) == nullptr) return false;
        Watched* entry = nullptr;
        for (Watched& existing : watched) {
            if (existing.socket == s) entry = &existing;
        }
        if (entry == nullptr) entry = &watched.emplace_back(Watched{s});
        entry->*which = true;
    }
    return true;
}

// Leaves in set only the sockets found ready for its kind; returns how many stayed.
int Keep(WS_fd_set* set, const std::vector<Watched>& watched,
         const std::vector<pollfd>& polled, short readyBits, bool Watched::*which) {
    if (set == nullptr) return 0;
    set->fd_count = 0;
    for (size_t i = 0; i < watched.size(); ++i) {
        if (watched[i].*which && (polled[i].revents & readyBits) != 0) {
            set->fd_array[set->fd_count++] = watched[i].socket;
        }
    }
    return static_cast<int>(set->fd_count);
}

}  // namespace

int Select(WS_fd_set* readfds, WS_fd_set* writefds, WS_fd_set* exceptfds,
           const WS_timeval* timeout) {
    if (!IsStarted()) return Fail(WSANOTINITIALISED);
    for (const WS_fd_set* set : {readfds, writefds, exceptfds}) {
        if (set != nullptr && set->fd_count > WS_FD_SETSIZE) return Fail(WSAEINVAL);
    }
    if (timeout != nullptr && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) {
        return Fail(WSAEINVAL);
    }
    std::vector<Watched> watched;
    if (!Collect(readfds, &Watched::read, watched) || !Collect(writefds, &Watched::write, watched) ||
        !Collect(exceptfds, &Watched::except, watched)) {
        return SOCKET_ERROR;  // Collect left WSAENOTSOCK
    }
    if (watched.empty()) return Fail(WSAEINVAL);  // Winsock has nothing to wait for

    std::vector<pollfd> polled;
    bool held = false;  // a datagram read ahead is readable now, whatever the kernel says
    for (const Watched& entry : watched) {
        short events = 0;
        if (entry.read) events |= POLLIN;
        if (entry.write) events |= POLLOUT;
        if (entry.except) events |= POLLPRI;
        const SocketState& state = *FindSocket(entry.socket);
        held = held || (entry.read && HoldsDatagram(state));
        polled.push_back(pollfd{state.fd, events, 0});
    }
    timespec limit{};
    if (timeout != nullptr && !held) {
        limit.tv_sec = timeout->tv_sec + timeout->tv_usec / 1000000;
        limit.tv_nsec = static_cast<long>(timeout->tv_usec % 1000000) * 1000;
    }
    // The one call here that may wait, because the caller gave it a time to wait.
    int ready = ::ppoll(polled.data(), polled.size(),
                        timeout != nullptr || held ? &limit : nullptr, nullptr);
    if (ready < 0) return Fail(WinsockErrorFromErrno(errno));
    for (size_t i = 0; i < watched.size(); ++i) {
        if (!watched[i].read) continue;
        SocketState& state = *FindSocket(watched[i].socket);
        if (HoldsDatagram(state)) polled[i].revents |= POLLIN;
        if ((polled[i].revents & POLLIN) != 0) ForgetDrained(state);
    }
    // An end of stream or an error makes a socket readable for Winsock: recv will tell.
    int count = Keep(readfds, watched, polled, POLLIN | POLLHUP | POLLERR, &Watched::read);
    count += Keep(writefds, watched, polled, POLLOUT, &Watched::write);
    count += Keep(exceptfds, watched, polled, POLLPRI, &Watched::except);
    return count;
}

int FdIsSet(SOCKET s, const WS_fd_set* set) {
    return set != nullptr && WS_FD_ISSET(s, set) ? 1 : 0;
}

}  // namespace quenda::wsock
