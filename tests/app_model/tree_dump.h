#pragma once
// Text pictures of a tag tree, for comparing trees in tests.
#include <string>

namespace opclumbra {
class TTagManager;
}

namespace opclumbra::test {

// Names, classes and stored properties, one line per component, indented by depth.
std::string StoredDump(const TTagManager& manager);

// StoredDump as a save and a load give it back: empty manager texts are
// not written, so they come back as their values at creation.
std::string ReloadedDump(const TTagManager& manager);

// StoredDump plus each tag's address and run-time fields: equal dumps mean
// the very same objects in the same state.
std::string FullDump(const TTagManager& manager);

}  // namespace opclumbra::test
