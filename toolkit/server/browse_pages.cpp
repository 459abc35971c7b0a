#include "browse_pages.h"

#include <windows.h>

#include "eopc.h"
#include "opc_error.h"

namespace quillon {
namespace {

bool SameTextIgnoreCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(),
                        int(b.size())) == CSTR_EQUAL;
}

// A continuation point is the name of the child that ended the last page.
// Where siblings share that name ignoring case, the name alone would resume at
// the first of them (and could page forever); then the point also carries the
// child's position in the listing: "\x01<position>\x01<name>".
constexpr wchar_t kPositionMark = L'\x01';

std::wstring MakeContinuationPoint(const std::vector<TOPCTag*>& listed, size_t last) {
  const std::wstring& name = listed[last]->Name();
  for (size_t i = 0; i < listed.size(); ++i)
    if (i != last && SameTextIgnoreCase(listed[i]->Name(), name))
      return kPositionMark + std::to_wstring(last) + kPositionMark + name;
  return name;
}

// The position in the listing after which to resume, or -1 if the point
// names no listed child.
long ResumeAfter(const std::vector<TOPCTag*>& listed, const std::wstring& point) {
  if (!point.empty() && point[0] == kPositionMark) {
    size_t end = point.find(kPositionMark, 1);
    if (end == std::wstring::npos) return -1;
    try {
      size_t position = std::stoul(point.substr(1, end - 1));
      std::wstring name = point.substr(end + 1);
      if (position < listed.size() && SameTextIgnoreCase(listed[position]->Name(), name)) return long(position);
    } catch (const std::exception&) {
    }
    return -1;
  }
  for (size_t i = 0; i < listed.size(); ++i)
    if (SameTextIgnoreCase(listed[i]->Name(), point)) return long(i);
  return -1;
}

}  // namespace

BrowsePage PageOf(const std::vector<TOPCTag*>& listed, const std::wstring& point, size_t maxElements) {
  BrowsePage page;
  if (!point.empty()) {
    long after = ResumeAfter(listed, point);
    if (after < 0) RaiseOPC(OPC_E_INVALIDCONTINUATIONPOINT);
    page.start = size_t(after) + 1;
  }
  page.count = listed.size() - page.start;
  if (maxElements != 0 && page.count > maxElements) {
    page.count = maxElements;
    page.next = MakeContinuationPoint(listed, page.start + page.count - 1);
  }
  return page;
}

}  // namespace quillon
