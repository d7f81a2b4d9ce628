// A library that exports Plugin_Init but not Plugin_Unload: the loader must refuse it.
extern "C" __attribute__((visibility("default"))) void Plugin_Init() {}
