#include "browse_pages.h"

#include "eopc.h"
#include "opc_error.h"

namespace quillon {
namespace {

// A continuation point is the name of the child that ended the last page.
// Where an earlier sibling shares that name ignoring case, the name alone
// would resume at that sibling (and could page forever); then the point also
// carries the child's position among the node's children:
// "\x01<position>\x01<name>".
constexpr wchar_t kPositionMark = L'\x01';

std::wstring MakeContinuationPoint(const TOPCTag& node, TOPCTag& last) {
  if (node.ChildNamed(last.Name()) == &last) return last.Name();
  return kPositionMark + std::to_wstring(node.IndexOfChildNode(&last)) + kPositionMark + last.Name();
}

// The position among the node's children after which to resume, or -1 if
// the point names no listed child.
long ResumeAfter(const TOPCTag& node, const BrowseFilter& listed, const std::wstring& point) {
  if (point[0] == kPositionMark) {
    size_t end = point.find(kPositionMark, 1);
    if (end == std::wstring::npos) return -1;
    try {
      size_t position = std::stoul(point.substr(1, end - 1));
      if (position >= node.ChildCount()) return -1;
      TOPCTag* child = node.ChildAt(position);
      return child->NameEquals(std::wstring_view(point).substr(end + 1)) && listed(*child) ? long(position) : -1;
    } catch (const std::exception&) {
      return -1;
    }
  }
  // The first listed child of that name. Nothing before the first child of
  // the name can be it; past it, only siblings the filters left out are skipped.
  TOPCTag* first = node.ChildNamed(point);
  if (!first) return -1;
  for (size_t i = size_t(node.IndexOfChildNode(first)); i < node.ChildCount(); ++i) {
    TOPCTag* child = node.ChildAt(i);
    if (child->NameEquals(point) && listed(*child)) return long(i);
  }
  return -1;
}

}  // namespace

BrowsePage PageOf(const TOPCTag& node, const BrowseFilter& listed, const std::wstring& point, size_t maxElements) {
  size_t i = 0;
  if (!point.empty()) {
    long after = ResumeAfter(node, listed, point);
    if (after < 0) RaiseOPC(OPC_E_INVALIDCONTINUATIONPOINT);
    i = size_t(after) + 1;
  }
  BrowsePage page;
  for (; i < node.ChildCount(); ++i) {
    TOPCTag* child = node.ChildAt(i);
    if (!listed(*child)) continue;
    if (maxElements != 0 && page.children.size() == maxElements) {
      // One more listed child: the page ends before it.
      page.next = MakeContinuationPoint(node, *page.children.back());
      break;
    }
    page.children.push_back(child);
  }
  return page;
}

}  // namespace quillon
