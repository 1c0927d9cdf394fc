// The J2534 library as an application sees it: loaded with dlopen by path
// (never linked), its 14 functions resolved by name.
#pragma once

#include <j2534.h>

#include <string>

struct J2534Library {
    long (*Open)(void*, unsigned long*) = nullptr;
    long (*Close)(unsigned long) = nullptr;
    long (*Connect)(unsigned long, unsigned long, unsigned long, unsigned long, unsigned long*) = nullptr;
    long (*Disconnect)(unsigned long) = nullptr;
    long (*ReadMsgs)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long) = nullptr;
    long (*WriteMsgs)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long) = nullptr;
    long (*StartPeriodicMsg)(unsigned long, PASSTHRU_MSG*, unsigned long*, unsigned long) = nullptr;
    long (*StopPeriodicMsg)(unsigned long, unsigned long) = nullptr;
    long (*StartMsgFilter)(unsigned long, unsigned long, PASSTHRU_MSG*, PASSTHRU_MSG*, PASSTHRU_MSG*, unsigned long*)
        = nullptr;
    long (*StopMsgFilter)(unsigned long, unsigned long) = nullptr;
    long (*SetProgrammingVoltage)(unsigned long, unsigned long, unsigned long) = nullptr;
    long (*ReadVersion)(unsigned long, char*, char*, char*) = nullptr;
    long (*GetLastError)(char*) = nullptr;
    long (*Ioctl)(unsigned long, unsigned long, void*, void*) = nullptr;

    // Loads build/bin/BrindlewickJ2534.so; false with error() otherwise.
    bool load();
    const std::string& error() const { return m_error; }
    // The text PassThruGetLastError gives now.
    std::string lastError() const;

private:
    void* m_handle = nullptr;
    std::string m_error;
};

// A message with a 4-byte CAN identifier and the bytes after it.
PASSTHRU_MSG canMessage(
    unsigned long protocol, unsigned long id, std::initializer_list<unsigned char> data, unsigned long txFlags = 0);
