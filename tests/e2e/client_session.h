#pragma once
// One whole client session against a server class, as the soaks repeat it:
// connect, AddGroup, AddItems, subscribe, sync read, sync write of the first
// ten items, async read (waiting for its completion), Unadvise, RemoveItems,
// RemoveGroup, release.
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// Empty when the session went through; else the step that failed and its code.
std::string RunClientSession(const CLSID& clsid, const std::vector<std::wstring>& itemIds);

}  // namespace e2e
