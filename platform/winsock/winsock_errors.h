// Translation of Linux error numbers and resolver results into Winsock error numbers.
#pragma once

namespace quenda::wsock {

// The Winsock number for errno value err; datagramSocket selects Winsock's report of an ICMP
// "port unreachable" on a datagram socket (WSAECONNRESET) over the stream meaning
// (WSAECONNREFUSED). Numbers without a Winsock counterpart give WSASYSCALLFAILURE.
int WinsockErrorFromErrno(int err, bool datagramSocket = false);

// The Winsock number for a getaddrinfo/getnameinfo result (EAI_*), using errno for
// EAI_SYSTEM.
int WinsockErrorFromResolver(int result, int err);

}  // namespace quenda::wsock
