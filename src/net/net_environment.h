#pragma once

#include <functional>
#include <string>
#include <vector>

// The net layer's one seam: what a connection takes from its surroundings. The program uses
// DefaultNetEnvironment(); tests hand in addresses of their own (a first one that never
// answers, or fixed ports pointed at a test server).

// One address of a peer, as the resolver gives it.
struct CGPeerAddress {
    int Family = 0;       // the platform's AF_INET or AF_INET6
    std::string Sockaddr; // the platform's socket address, port (and IPv6 scope) included
};

struct CGNetEnvironment {
    // The addresses of host on port, in the order to try; none when it does not resolve.
    std::function<std::vector<CGPeerAddress>(const char* host, int port)> Resolve;
    // Whether certificates can be verified at all (the store holds an authority); null:
    // the process's store decides.
    std::function<int()> HasAuthorities;
};

// The system's resolver.
CGNetEnvironment DefaultNetEnvironment();
