// A test double of the diagnosis component's contract (vehdiag/Exports.h),
// never shipped: every entry point records its call, and DoubleCalls() hands
// the record to the test. Copies of this one library play each of the
// component's files in a test's VehDiag folder; built without "MakeStackWid"
// it is a display library that lacks an export, without "DiagEntry" a make
// library that lacks its entry.
#include <vehdiag/Exports.h>

#include <mutex>
#include <string>

#define DOUBLE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex g_mutex;
std::string g_calls;

void record(const std::string& call)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls += call + "\n";
}

} // namespace

DOUBLE_EXPORT const char* DoubleCalls()
{
    // No thread_local here: its destructor would keep the library from ever unloading.
    std::lock_guard<std::mutex> lock(g_mutex);
    static std::string copy;
    copy = g_calls;
    return copy.c_str();
}

DOUBLE_EXPORT void SetLanguage(const char* language)
{
    record(std::string("SetLanguage(") + language + ")");
}

DOUBLE_EXPORT void SetVehiclePath(const char* folder)
{
    record(std::string("SetVehiclePath(") + folder + ")");
}

DOUBLE_EXPORT void SetGloableWidget(QWidget* host)
{
    record(std::string("SetGloableWidget(") + (host ? "widget" : "null") + ")");
}

#ifndef DOUBLE_WITHOUT_MAKESTACK
DOUBLE_EXPORT void MakeStackWid()
{
    record("MakeStackWid()");
}
#endif

DOUBLE_EXPORT void SetVeh(const char* make)
{
    record(std::string("SetVeh(") + make + ")");
}

#ifndef DOUBLE_WITHOUT_DIAGENTRY
DOUBLE_EXPORT int DiagEntry(const char* makeFolder)
{
    record(std::string("DiagEntry(") + makeFolder + ")");
    return 0;
}
#endif
