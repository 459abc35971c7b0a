#include "name_filter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

using quillon::NameMatchesFilter;

TEST(NameFilter, EmptyFilterMatchesEverything) {
  EXPECT_TRUE(NameMatchesFilter(L"", L""));
  EXPECT_TRUE(NameMatchesFilter(L"Tank1", L""));
}

TEST(NameFilter, LiteralsIgnoreAsciiCaseAndMustUseUpBoth) {
  EXPECT_TRUE(NameMatchesFilter(L"Tank1", L"TANK1"));
  EXPECT_TRUE(NameMatchesFilter(L"TANK1", L"tank1"));
  EXPECT_FALSE(NameMatchesFilter(L"ABC", L"AB"));
  EXPECT_FALSE(NameMatchesFilter(L"AB", L"ABC"));
  EXPECT_TRUE(NameMatchesFilter(L"ABC", L"AB*"));
  // Only ASCII letters are folded.
  EXPECT_FALSE(NameMatchesFilter(L"\u00e9", L"\u00c9"));
  EXPECT_TRUE(NameMatchesFilter(L"\u6db2\u4f4d", L"\u6db2*"));
}

TEST(NameFilter, QuestionMarkAndDigit) {
  EXPECT_TRUE(NameMatchesFilter(L"Tank1", L"T?NK#"));
  EXPECT_FALSE(NameMatchesFilter(L"Tanks", L"T?NK#"));
  EXPECT_FALSE(NameMatchesFilter(L"Tank", L"T?NK#"));
  EXPECT_FALSE(NameMatchesFilter(L"", L"?"));
  EXPECT_TRUE(NameMatchesFilter(L"9", L"#"));
  EXPECT_FALSE(NameMatchesFilter(L"x", L"#"));
}

TEST(NameFilter, StarMatchesAnyRunIncludingNone) {
  EXPECT_TRUE(NameMatchesFilter(L"TANK1", L"T*"));
  EXPECT_TRUE(NameMatchesFilter(L"T", L"T*"));
  EXPECT_TRUE(NameMatchesFilter(L"", L"*"));
  EXPECT_TRUE(NameMatchesFilter(L"abcabd", L"*abd"));
  EXPECT_TRUE(NameMatchesFilter(L"aXbXc", L"a*b*c"));
  EXPECT_FALSE(NameMatchesFilter(L"aXbXcX", L"a*b*c"));
  EXPECT_TRUE(NameMatchesFilter(L"Level12", L"*#"));
  EXPECT_FALSE(NameMatchesFilter(L"Level", L"*#"));
  EXPECT_TRUE(NameMatchesFilter(L"abc", L"**c"));
}

TEST(NameFilter, Lists) {
  EXPECT_TRUE(NameMatchesFilter(L"Boiler", L"[A-C]*"));
  EXPECT_FALSE(NameMatchesFilter(L"Drum", L"[A-C]*"));
  EXPECT_TRUE(NameMatchesFilter(L"Boiler", L"[!A]*"));
  EXPECT_FALSE(NameMatchesFilter(L"Alarm", L"[!A]*"));
  EXPECT_TRUE(NameMatchesFilter(L"x", L"[abcx]"));
  EXPECT_TRUE(NameMatchesFilter(L"b", L"[xa-cz]"));
  EXPECT_FALSE(NameMatchesFilter(L"d", L"[xa-cz]"));
  // Lists fold case like the rest of the filter.
  EXPECT_TRUE(NameMatchesFilter(L"B", L"[a-c]"));
  // A leading '-' is a plain character.
  EXPECT_TRUE(NameMatchesFilter(L"-", L"[-a]"));
}

TEST(NameFilter, DashEndingAListSpoilsTheWholeMatch) {
  EXPECT_FALSE(NameMatchesFilter(L"a", L"[a-]"));
  EXPECT_FALSE(NameMatchesFilter(L"a-", L"[a-"));
  EXPECT_FALSE(NameMatchesFilter(L"a", L"*[a-]*"));
}

TEST(NameFilter, UnclosedListRunsToTheEnd) {
  EXPECT_TRUE(NameMatchesFilter(L"b", L"[abc"));
  EXPECT_FALSE(NameMatchesFilter(L"bc", L"[abc"));
  EXPECT_TRUE(NameMatchesFilter(L"c", L"[!ab"));
}

TEST(NameFilter, ManyStarsNeverBacktrackExponentially) {
  std::wstring name(10000, L'A');
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(NameMatchesFilter(name, L"*A*A*A*A*A*A*A*A*B"));
  name.back() = L'B';
  EXPECT_TRUE(NameMatchesFilter(name, L"*A*A*A*A*A*A*A*A*B"));
  auto elapsed = std::chrono::steady_clock::now() - start;
  // Polynomial work is microseconds here; exponential work would not finish.
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}
