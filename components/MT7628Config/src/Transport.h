// One request/reply exchange with a module over TCP, bounded by time-outs.
#pragma once

#include <json/value.h>

#include <string>

namespace mt7628 {

struct CallOptions {
    int port = 0; // 0: the default port or $BRINDLEWICK_MT7628_PORT
    int connectTimeoutMs = 1500;
    int replyTimeoutMs = 3000; // from the end of the connect to the whole reply line
};

// The port used when CallOptions::port is 0.
int defaultPort();

// Connects to ip:port, sends the request line, reads one reply line and parses
// it. false on a bad address, refused or timed-out connect, a silent or closed
// peer, an oversized or malformed reply. Never throws.
bool call(const std::string& ip, const Json::Value& request, Json::Value& reply, const CallOptions& options,
    std::string* error = nullptr);

} // namespace mt7628
