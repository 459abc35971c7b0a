#pragma once
// What the service reads from the registry: the classes of component
// categories, and the names a class is registered with.
#include <objbase.h>
#include <comcat.h>

#include <string>
#include <vector>

namespace serverlist {

// The classes that implement at least one of Implemented and require no
// category outside Required (the categories the caller supports), as the
// component categories manager reads them, each once. The counts follow
// ICatInformation: (ULONG)-1 leaves a list out of the question.
HRESULT ClassesOfCategories(ULONG implementedCount, const CATID* implemented, ULONG requiredCount,
                            const CATID* required, std::vector<CLSID>& classes);

struct ClassNames {
  std::wstring progId;
  std::wstring userType;
  std::wstring versionIndependentProgId;
};

// The names under HKEY_CLASSES_ROOT\CLSID\{Class}; a name the class lacks is
// empty. REGDB_E_CLASSNOTREG when the class is not registered.
HRESULT NamesOfClass(const CLSID& clsid, ClassNames& names);

}  // namespace serverlist
