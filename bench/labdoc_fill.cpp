// Fills a new database with a generated laboratory of N documents, as the
// store and the plug-in fill it, and says how long that took:
//   labdoc_fill DATABASE DOCUMENTS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_data.h"
#include "runtime/data/sqlite/database.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: labdoc_fill DATABASE DOCUMENTS\n");
    return 2;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    rt::sqlite::Database database(argv[1]);
    database.AttachContentFile();
    labdocs::bench::Fill(database.Handle(), labdocs::bench::Plan(std::atoll(argv[2])));
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%s documents in %.1f s\n", argv[2], took.count());
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "labdoc_fill: %s\n", error.what());
    return 1;
  }
}
