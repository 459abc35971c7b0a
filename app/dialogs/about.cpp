#include "about.h"

#include "dialog_ids.h"

namespace opclumbra {

TAbout::TAbout() noexcept : TModalDialog(IDD_ABOUT, Placement::CentreOnOwner) {}

}  // namespace opclumbra
