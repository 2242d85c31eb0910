// Order, bounds and ownership of the pointer list.
#include "ptrlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records its destruction (and the list size seen at that moment) in a shared log.
struct Tracked
{
  Tracked(int id, std::vector<std::string>* log, const WDL_PtrList<Tracked>* list = nullptr)
      : id(id), log(log), list(list)
  {
  }
  ~Tracked() { log->push_back(std::to_string(id) + (list ? "/" + std::to_string(list->GetSize()) : "")); }
  int id;
  std::vector<std::string>* log;
  const WDL_PtrList<Tracked>* list;
};

std::vector<std::string>* g_functionLog = nullptr;
void DeleteByFunction(void* p)
{
  auto* t = static_cast<Tracked*>(p);
  g_functionLog->push_back("fn" + std::to_string(t->id));
  t->log = g_functionLog;
  delete t;
}

std::vector<int> Ids(const WDL_PtrList<int>& list)
{
  std::vector<int> ids;
  for (int i = 0; i < list.GetSize(); ++i) ids.push_back(*list.Get(i));
  return ids;
}

TEST(PtrList, GetOutsideTheListIsNull)
{
  WDL_PtrList<int> list;
  EXPECT_EQ(list.Get(0), nullptr); // no buffer at all
  EXPECT_EQ(list.GetSize(), 0);
  int a = 1;
  EXPECT_EQ(list.Add(&a), &a);
  for (int index : {-1, 1, 2, -100000}) EXPECT_EQ(list.Get(index), nullptr) << index;
  EXPECT_EQ(list.Get(0), &a);
}

TEST(PtrList, InsertClampsTheIndex)
{
  int v[5] = {0, 1, 2, 3, 4};
  WDL_PtrList<int> list;
  list.Add(&v[2]);
  list.Insert(-5, &v[0]);  // front
  list.Insert(100, &v[4]); // end
  list.Insert(1, &v[1]);   // before v[2]
  list.Insert(3, &v[3]);   // before v[4]
  EXPECT_EQ(Ids(list), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(list.Find(&v[3]), 3);
  EXPECT_EQ(list.Find(nullptr), -1);
}

TEST(PtrList, DeleteMovesLaterEntriesDown)
{
  std::vector<std::string> log;
  WDL_PtrList<Tracked> list;
  for (int i = 0; i < 4; ++i) list.Add(new Tracked(i, &log));
  list.Delete(1, true);
  EXPECT_EQ(log, (std::vector<std::string>{"1"}));
  Tracked* kept = list.Get(0);
  list.Delete(0); // removed, not destroyed
  EXPECT_EQ(log.size(), 1u);
  delete kept;
  list.Delete(5, true); // out of range: nothing
  list.Delete(-1, true);
  ASSERT_EQ(list.GetSize(), 2);
  EXPECT_EQ(list.Get(0)->id, 2);
  EXPECT_EQ(list.Get(1)->id, 3);
  list.Empty(true);
}

TEST(PtrList, EmptyDestroysFromTheLastEntryShrinkingAsItGoes)
{
  std::vector<std::string> log;
  WDL_PtrList<Tracked> list;
  for (int i = 1; i <= 3; ++i) list.Add(new Tracked(i, &log, &list));
  list.Add(nullptr); // null entries are skipped
  list.Empty(true);
  // Each destructor sees the list still holding itself and the entries before it.
  EXPECT_EQ(log, (std::vector<std::string>{"3/3", "2/2", "1/1"}));
  EXPECT_EQ(list.GetSize(), 0);
}

TEST(PtrList, EmptyUsesTheDeleteFunctionWhenGiven)
{
  std::vector<std::string> log, functionLog;
  g_functionLog = &functionLog;
  WDL_PtrList<Tracked> list;
  for (int i = 1; i <= 2; ++i) list.Add(new Tracked(i, &log));
  list.Empty(true, DeleteByFunction);
  EXPECT_EQ(functionLog, (std::vector<std::string>{"fn2", "2", "fn1", "1"}));
  EXPECT_TRUE(log.empty());
}

TEST(PtrList, EmptyWithoutDeleteLeavesTheEntriesAlive)
{
  std::vector<std::string> log;
  Tracked a(1, &log);
  WDL_PtrList<Tracked> list;
  list.Add(&a);
  list.Empty();
  EXPECT_EQ(list.GetSize(), 0);
  EXPECT_TRUE(log.empty());
  list.Add(&a); // still usable afterwards
  EXPECT_EQ(list.Get(0), &a);
}

TEST(PtrList, ManyEntriesKeepTheirOrder)
{
  std::vector<int> values(5000);
  WDL_PtrList<int> list;
  for (int i = 0; i < 5000; ++i) {
    values[i] = i;
    list.Add(&values[i]);
  }
  ASSERT_EQ(list.GetSize(), 5000);
  for (int i = 0; i < 5000; ++i) ASSERT_EQ(*list.Get(i), i);
  EXPECT_TRUE(list.Set(10, &values[0]));
  EXPECT_FALSE(list.Set(5000, &values[0]));
  EXPECT_EQ(*list.Get(10), 0);
}

} // namespace
