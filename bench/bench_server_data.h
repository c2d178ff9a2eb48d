// The generated laboratories of bench_data.h on a PostgreSQL server.
#pragma once

#include <string>

#include "bench/bench_data.h"

namespace labdocs::bench {

// Makes the schema `schema` afresh on the server that `conninfo` names (a
// schema of that name is dropped first), gives it the host's tables and fills
// it with the laboratory as Fill fills an SQLite file, through the server's
// bulk path (COPY). Returns the setting of a session on it. Throws
// std::runtime_error.
std::string FillServerSchema(const std::string& conninfo, const std::string& schema, const Laboratory& laboratory);

}  // namespace labdocs::bench
