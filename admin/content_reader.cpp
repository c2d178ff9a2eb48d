#include "admin/content_reader.h"

namespace admin {

std::optional<std::string> VerifyContent(labdocs::labdoc::ContentStorage& storage, std::int64_t content_id,
                                         const labdocs::labdoc::ContentSummary& recorded, const std::string& what,
                                         const std::function<void(std::size_t)>& on_bytes) {
  try {
    storage.ReadChunks(content_id, recorded, what, [&](const std::uint8_t*, std::size_t size) { on_bytes(size); });
  } catch (const labdocs::labdoc::EDamagedContent& damage) {
    return std::string(damage.what());
  }
  return std::nullopt;
}

}  // namespace admin
