/* A tiny library that the platform tests load by its Windows name. */
#if defined(_WIN32)
#define RT_TESTLIB_EXPORT __declspec(dllexport)
#define RT_TESTLIB_CALL __stdcall
#else
#define RT_TESTLIB_EXPORT __attribute__((visibility("default")))
#define RT_TESTLIB_CALL
#endif

RT_TESTLIB_EXPORT int RT_TESTLIB_CALL RtTestAdd(int a, int b) { return a + b; }
