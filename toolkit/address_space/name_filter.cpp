#include "name_filter.h"

#include <optional>
#include <string>
#include <vector>

namespace quillon {
namespace {

wchar_t UpperAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; }

// One element of a compiled filter. Everything but a star consumes exactly one
// character of the name, which is what lets the matcher avoid backtracking.
struct Element {
  enum Kind { Literal, AnyChar, Digit, List, Star } kind;
  wchar_t ch = 0;                                     // Literal
  bool negated = false;                               // List
  std::vector<std::pair<wchar_t, wchar_t>> ranges;    // List, inclusive

  bool Accepts(wchar_t c) const {
    switch (kind) {
      case Literal: return c == ch;
      case AnyChar: return true;
      case Digit: return c >= L'0' && c <= L'9';
      case List: {
        bool in = false;
        for (auto [lo, hi] : ranges) in = in || (c >= lo && c <= hi);
        return in != negated;
      }
      case Star: break;
    }
    return false;
  }
};

// Compiles an upper-cased filter. An empty result means "never matches": a '-'
// that ends a list (before ']' or the end of the filter) spoils the whole match.
// A list that is never closed runs to the end of the filter.
std::optional<std::vector<Element>> Compile(const std::wstring& f) {
  std::vector<Element> out;
  size_t i = 0;
  while (i < f.size()) {
    wchar_t c = f[i++];
    switch (c) {
      case L'*':
        if (out.empty() || out.back().kind != Element::Star) out.push_back({Element::Star});
        break;
      case L'?': out.push_back({Element::AnyChar}); break;
      case L'#': out.push_back({Element::Digit}); break;
      case L'[': {
        Element e{Element::List};
        if (i < f.size() && f[i] == L'!') {
          e.negated = true;
          ++i;
        }
        while (i < f.size() && f[i] != L']') {
          wchar_t lo = f[i++];
          if (i < f.size() && f[i] == L'-') {
            ++i;
            if (i >= f.size() || f[i] == L']') return std::nullopt;
            e.ranges.emplace_back(lo, f[i++]);
          } else {
            e.ranges.emplace_back(lo, lo);
          }
        }
        if (i < f.size()) ++i;  // the closing ']'
        out.push_back(std::move(e));
        break;
      }
      default: out.push_back({Element::Literal, c}); break;
    }
  }
  return out;
}

}  // namespace

bool NameMatchesFilter(std::wstring_view name, std::wstring_view filter) {
  if (filter.empty()) return true;
  std::wstring upperFilter(filter);
  for (auto& c : upperFilter) c = UpperAscii(c);
  auto compiled = Compile(upperFilter);
  if (!compiled) return false;
  const auto& pat = *compiled;

  // Greedy scan that remembers the last star: since every other element takes
  // exactly one character, retrying from the last star (consuming one more
  // character each time) finds the shortest-first match the rules ask for.
  size_t n = 0, p = 0;
  std::optional<size_t> starPat;
  size_t starName = 0;
  while (n < name.size()) {
    if (p < pat.size() && pat[p].kind == Element::Star) {
      starPat = p++;
      starName = n;
    } else if (p < pat.size() && pat[p].Accepts(UpperAscii(name[n]))) {
      ++p;
      ++n;
    } else if (starPat) {
      p = *starPat + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p].kind == Element::Star) ++p;
  return p == pat.size();
}

}  // namespace quillon
