#include "runtime/ui/image.h"

#include "runtime/text/gbk.h"

namespace rt {

RT_REGISTER_COMPONENT(TImage);

void TImage::LoadFromFile(std::string_view file_name) {
  TPicture loaded;
  loaded.LoadFromFile(file_name);
  picture_ = std::move(loaded);
  const PropValue* auto_size = AppearanceOf("AutoSize");
  if (auto_size && std::holds_alternative<bool>(*auto_size) && std::get<bool>(*auto_size))
    SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
}

}  // namespace rt
