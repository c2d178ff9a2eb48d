// An empty library for measuring what loading and unloading one costs.
extern "C" int ProbeValue() { return 42; }
