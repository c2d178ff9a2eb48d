// Which kind of window each class of the form model becomes
// (desktop/control_kind.h): its own row, else its nearest base class's, in
// whatever order the table lists them.
#include "desktop/control_kind.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

#include "runtime/services/sui_controls.h"
#include "runtime/services/vexa_controls.h"
#include "runtime/ui/image.h"
#include "runtime/ui/stdctrls.h"

namespace desktop::testing {
namespace {

class TTestContainer : public rt::TWinControl {
 public:
  RT_COMPONENT_CLASS(TTestContainer)
  using TWinControl::TWinControl;
};

template <class T>
std::function<std::unique_ptr<rt::TControl>()> Of() {
  return [] { return std::make_unique<T>(nullptr); };
}

TEST(ControlKindTest, EachClassTakesItsOwnRowElseThatOfItsNearestBaseClass) {
  struct Case {
    std::string name;
    std::function<std::unique_ptr<rt::TControl>()> make;
    std::type_index kind;
  };
  const std::vector<Case> cases = {
      {"TEdit", Of<rt::TEdit>(), typeid(rt::TEdit)},
      {"TMemo (derived from TEdit)", Of<rt::TMemo>(), typeid(rt::TMemo)},
      {"TVexaEdit20", Of<rt::TVexaEdit20>(), typeid(rt::TEdit)},
      {"TVexaMemo20", Of<rt::TVexaMemo20>(), typeid(rt::TMemo)},
      {"TVexaComboBox20", Of<rt::TVexaComboBox20>(), typeid(rt::TComboBox)},
      {"TVexaLabel20", Of<rt::TVexaLabel20>(), typeid(rt::TLabel)},
      {"TVexaField20 (shows nothing)", Of<rt::TVexaField20>(), typeid(rt::TControl)},
      {"TsuiButton", Of<rt::TsuiButton>(), typeid(rt::TButton)},
      {"TsuiForm (a container with a row)", Of<rt::TsuiForm>(), typeid(rt::TsuiForm)},
      {"TsuiPageControl", Of<rt::TsuiPageControl>(), typeid(rt::TPageControl)},
      {"TsuiTabSheet", Of<rt::TsuiTabSheet>(), typeid(rt::TTabSheet)},
      {"TListView", Of<rt::TListView>(), typeid(rt::TListView)},
      {"TBevel", Of<rt::TBevel>(), typeid(rt::TBevel)},
      {"TImage", Of<rt::TImage>(), typeid(rt::TImage)},
      {"another container", Of<TTestContainer>(), typeid(rt::TWinControl)},
  };
  // Twice: the second time from what the first found out.
  for (int round = 0; round < 2; ++round)
    for (const Case& c : cases) {
      const std::unique_ptr<rt::TControl> control = c.make();
      EXPECT_EQ(KindOf(*control).type, c.kind) << c.name << ", round " << round;
    }
}

}  // namespace
}  // namespace desktop::testing
