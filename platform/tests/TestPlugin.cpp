// A small library for LibraryTest: two exports with C names.
#ifdef _WIN32
#define BW_EXPORT extern "C" __declspec(dllexport)
#else
#define BW_EXPORT extern "C" __attribute__((visibility("default")))
#endif

static int g_calls = 0;

BW_EXPORT int bw_plugin_answer()
{
    return 42;
}

BW_EXPORT int bw_plugin_calls()
{
    return ++g_calls;
}
