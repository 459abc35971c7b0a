#include "group_list.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "group.h"

namespace quillon {
namespace {

bool SameNameAscii(std::wstring_view a, std::wstring_view b) {
  auto upper = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

}  // namespace

void TGroupList::Add(TGroup* group) { groups_.emplace_back(group); }

TGroup* TGroupList::Find(OPCHANDLE handle) const {
  for (const auto& g : groups_)
    if (g->GroupHandle() == handle) return g.Get();
  return nullptr;
}

TGroup* TGroupList::Find(std::wstring_view name) const {
  for (const auto& g : groups_)
    if (SameNameAscii(g->Name(), name)) return g.Get();
  return nullptr;
}

bool TGroupList::Remove(TGroup* group) {
  auto it = std::find_if(groups_.begin(), groups_.end(), [&](const auto& g) { return g.Get() == group; });
  if (it == groups_.end()) return false;
  ComPtr<TGroup> held = std::move(*it);
  groups_.erase(it);
  return true;
}

std::vector<ComPtr<TGroup>> TGroupList::TakeAll() {
  std::vector<ComPtr<TGroup>> all = std::move(groups_);
  groups_.clear();
  return all;
}

std::wstring TGroupList::NewDefaultName() const {
  std::srand(unsigned(std::time(nullptr)) ^ GetTickCount());
  std::wstring name = L"OPCGROUP" + std::to_wstring(std::rand() % 10);
  while (Contains(name)) name += std::to_wstring(std::rand() % 10);
  return name;
}

}  // namespace quillon
