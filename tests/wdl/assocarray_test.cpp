// Sorted string-keyed arrays: lookup, replacement, ownership and re-sorting.
#include "assocarray.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> g_disposed;
void DisposeValue(char* value)
{
  g_disposed.push_back(value);
  std::free(value);
}

std::vector<std::string> Keys(const WDL_StringKeyedArray<char*>& a)
{
  std::vector<std::string> keys;
  for (int i = 0; i < a.GetSize(); ++i) {
    const char* key = nullptr;
    a.Enumerate(i, &key);
    keys.push_back(std::string(key) + "=" + a.Enumerate(i));
  }
  return keys;
}

TEST(StringKeyedArray, KeepsKeysSortedAndReplacesValues)
{
  g_disposed.clear();
  {
    WDL_StringKeyedArray<char*> a(true, DisposeValue);
    a.Insert("b", strdup("1"));
    a.Insert("a", strdup("2"));
    a.Insert("c", strdup("3"));
    EXPECT_EQ(a.Insert("b", strdup("4")), 1);
    EXPECT_EQ(Keys(a), (std::vector<std::string>{"a=2", "b=4", "c=3"}));
    EXPECT_EQ(g_disposed, (std::vector<std::string>{"1"}));
    EXPECT_STREQ(a.Get("c", nullptr), "3");
    EXPECT_EQ(a.Get("B", nullptr), nullptr); // case-sensitive
    a.Delete("a");
    a.Delete("zz");
    EXPECT_EQ(Keys(a), (std::vector<std::string>{"b=4", "c=3"}));
  }
  EXPECT_EQ(g_disposed, (std::vector<std::string>{"1", "2", "4", "3"}));
}

TEST(StringKeyedArray, CaseInsensitiveKeepsTheFirstSpelling)
{
  WDL_StringKeyedArray<char*> a(false, WDL_StringKeyedArray<char*>::freecharptr);
  a.Insert("Key", strdup("1"));
  a.Insert("KEY", strdup("2"));
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"Key=2"}));
  EXPECT_STREQ(a.Get("kEy", nullptr), "2");
  // Letters fold to lower case: "_" (0x5F) then sorts before every letter, not after "Z" (0x5A).
  a.Insert("_", strdup("u"));
  a.Insert("Z", strdup("z"));
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"_=u", "Key=2", "Z=z"}));
}

TEST(StringKeyedArray, ResortOrdersAndKeepsTheLastOfEqualKeys)
{
  g_disposed.clear();
  WDL_StringKeyedArray<char*> a(false, DisposeValue);
  const char* pairs[][2] = {{"m", "1"}, {"B", "2"}, {"a", "3"}, {"b", "4"}, {"M", "5"}, {"b", "6"}};
  for (auto& p : pairs) a.AddUnsorted(p[0], strdup(p[1]));
  a.Resort();
  EXPECT_EQ(Keys(a), (std::vector<std::string>{"a=3", "b=6", "M=5"}));
  EXPECT_EQ(g_disposed, (std::vector<std::string>{"2", "4", "1"}));
  EXPECT_EQ(a.Enumerate(7), nullptr);
}

TEST(StringKeyedArray, ManyKeysFoundByBinarySearch)
{
  WDL_StringKeyedArray<int> a;
  for (int i = 999; i >= 0; --i) a.Insert(std::to_string(i).c_str(), i);
  ASSERT_EQ(a.GetSize(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(a.Get(std::to_string(i).c_str(), -1), i);
  EXPECT_EQ(a.Get("1000", -1), -1);
  a.DeleteAll();
  EXPECT_EQ(a.GetSize(), 0);
}

} // namespace
