// A loopback port whose connection queue is full, so a new connection attempt
// hangs until the client's connect time-out: a black hole that never leaves 127.0.0.1.
#pragma once

#include <QtGlobal>
#include <vector>

class UnresponsiveListener {
public:
    UnresponsiveListener();
    ~UnresponsiveListener();
    UnresponsiveListener(const UnresponsiveListener&) = delete;
    UnresponsiveListener& operator=(const UnresponsiveListener&) = delete;

    bool isValid() const { return m_port != 0; }
    quint16 port() const { return m_port; }

private:
    int m_listener = -1;
    std::vector<int> m_fillers;
    quint16 m_port = 0;
};
