// The pass-thru trace: while the 04.04 trace folder exists (the settings
// page's system-log switch creates it: "C:/ProgramData/passThru4log",
// mapped through the data root), one file per session (from the first
// PassThruOpen to the last PassThruClose) records every call with its
// arguments and result and every message. At most kTraceLimit bytes, then a
// last line says the trace stopped. Nothing at all without the folder.
#pragma once

#include <passthru/PassThruWire.h>

#include <cstdint>
#include <string>

namespace j2534::trace {

inline constexpr std::size_t kTraceLimit = 8u * 1024 * 1024;

// A session starts (a file is opened if the folder exists and none is) or ends.
void sessionStarts();
void sessionEnds();
bool active();
// A line, time-stamped with the calling thread.
void line(const std::string& text);
void note(const std::string& text);
// Hex dump of a message for a line (data cut after 256 bytes).
std::string describe(unsigned long protocolId, unsigned long rxStatus, unsigned long txFlags, unsigned long timestamp,
    const unsigned char* data, std::size_t size);
void received(unsigned long device, const passthru::RxEvent& rx);
void busState(unsigned long device, std::uint32_t channel, std::uint32_t state);
// The current trace file, empty when none (for tests and the documentation).
std::string currentFile();

} // namespace j2534::trace
