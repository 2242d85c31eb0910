// Order, bounds and ownership of the pointer list.
#include "ptrlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> g_log;

// Logs its destruction with the list size seen at that moment.
struct Tracked
{
  Tracked(int id, const WDL_PtrList<Tracked>* list = nullptr) : id(id), list(list) {}
  ~Tracked() { g_log.push_back(std::to_string(id) + (list ? "/" + std::to_string(list->GetSize()) : "")); }
  int id;
  const WDL_PtrList<Tracked>* list;
};

void DeleteByFunction(void* p)
{
  g_log.push_back("fn" + std::to_string(static_cast<Tracked*>(p)->id));
  delete static_cast<Tracked*>(p);
}

TEST(PtrList, GetOutsideTheListIsNull)
{
  WDL_PtrList<int> list;
  EXPECT_EQ(list.Get(0), nullptr); // no buffer at all
  int a = 1;
  EXPECT_EQ(list.Add(&a), &a);
  for (int index : {-1, 1, 2, -100000}) EXPECT_EQ(list.Get(index), nullptr) << index;
  EXPECT_EQ(list.Get(0), &a);
}

TEST(PtrList, InsertClampsTheIndexAndManyEntriesKeepTheirOrder)
{
  int v[5] = {0, 1, 2, 3, 4};
  WDL_PtrList<int> list;
  list.Add(&v[2]);
  list.Insert(-5, &v[0]);  // front
  list.Insert(100, &v[4]); // end
  list.Insert(1, &v[1]);
  list.Insert(3, &v[3]);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.Get(i), &v[i]);
  EXPECT_EQ(list.Find(&v[3]), 3);
  EXPECT_EQ(list.Find(nullptr), -1);

  std::vector<int> values(5000);
  for (int& x : values) list.Add(&x);
  ASSERT_EQ(list.GetSize(), 5005);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(list.Get(i + 5), &values[i]);
}

TEST(PtrList, DeleteMovesLaterEntriesDown)
{
  g_log.clear();
  WDL_PtrList<Tracked> list;
  for (int i = 0; i < 4; ++i) list.Add(new Tracked(i));
  list.Delete(1, true);
  Tracked* kept = list.Get(0);
  list.Delete(0); // removed, not destroyed
  list.Delete(5, true);
  list.Delete(-1, true);
  EXPECT_EQ(g_log, (std::vector<std::string>{"1"}));
  delete kept;
  ASSERT_EQ(list.GetSize(), 2);
  EXPECT_EQ(list.Get(0)->id, 2);
  EXPECT_EQ(list.Get(1)->id, 3);
  list.Empty(true);
}

TEST(PtrList, EmptyDestroysFromTheLastEntryShrinkingAsItGoes)
{
  g_log.clear();
  WDL_PtrList<Tracked> list;
  for (int i = 1; i <= 3; ++i) list.Add(new Tracked(i, &list));
  list.Add(nullptr); // skipped
  list.Empty(true);
  // Each destructor sees the list holding itself and the entries before it.
  EXPECT_EQ(g_log, (std::vector<std::string>{"3/3", "2/2", "1/1"}));
  EXPECT_EQ(list.GetSize(), 0);

  g_log.clear();
  for (int i = 1; i <= 2; ++i) list.Add(new Tracked(i));
  list.Empty(true, DeleteByFunction);
  EXPECT_EQ(g_log, (std::vector<std::string>{"fn2", "2", "fn1", "1"}));

  g_log.clear();
  Tracked alive(9);
  list.Add(&alive);
  list.Empty(); // without wantDelete nothing is destroyed
  EXPECT_EQ(list.GetSize(), 0);
  EXPECT_TRUE(g_log.empty());
}

} // namespace
