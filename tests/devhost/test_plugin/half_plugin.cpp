// A library that exports Plugin_Init but not Plugin_Unload: the loader must refuse it.
#if defined(_WIN32)
extern "C" __declspec(dllexport) void Plugin_Init() {}
#else
extern "C" __attribute__((visibility("default"))) void Plugin_Init() {}
#endif
