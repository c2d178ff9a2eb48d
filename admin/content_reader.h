// Reading a stored content whole and checking it: the one place of the
// program that reads contents' bytes, through the document store's own
// chunk reader, so that whatever holds the chunks the check reads them as
// a fetch does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "labdoc/content_storage.h"

namespace admin {

// Streams the content's chunks (one in memory at a time, hashed beside the
// reading) and checks them against its recorded size and digest. Returns
// nothing when they match, or the store's description of the damage (GBK,
// naming the content by `what`): a chunk missing or out of place, bytes
// past or short of the size, another digest. `on_bytes` hears of every
// piece read, for progress. Raises rt::EDatabaseError when the database
// fails.
std::optional<std::string> VerifyContent(labdocs::labdoc::ContentStorage& storage, std::int64_t content_id,
                                         const labdocs::labdoc::ContentSummary& recorded, const std::string& what,
                                         const std::function<void(std::size_t)>& on_bytes);

}  // namespace admin
