// An image control showing a picture; sized to its picture when AutoSize.
#pragma once

#include "runtime/ui/controls.h"
#include "runtime/ui/picture.h"

namespace rt {

class TImage : public TGraphicControl {
 public:
  RT_COMPONENT_CLASS(TImage)
  using TGraphicControl::TGraphicControl;
  TPicture& Picture() { return picture_; }
  const TPicture& Picture() const { return picture_; }
  // Loads the picture from a file; raises EInvalidGraphic for a file that is
  // not a picture, and the control keeps its previous picture then.
  void LoadFromFile(std::string_view file_name);

 private:
  TPicture picture_;
};

}  // namespace rt
