#include "geo/thread_string_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "geo/global_lock.h"
#include "geo/stream.h"

namespace wy {
namespace {

using namespace std::chrono_literals;

void RunThreads(int count, const std::function<void(int)>& body) {
  std::vector<std::thread> threads;
  for (int t = 0; t < count; ++t) threads.emplace_back(body, t);
  for (std::thread& thread : threads) thread.join();
}

TEST(ThreadStringList, NewListIsUnsortedWithDupIgnoreAndAcceptsDuplicates) {
  TThreadStringList list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.Sorted());
  EXPECT_EQ(list.Duplicates(), dupIgnore);
  list.Add("tile");
  list.Add("TILE");
  EXPECT_EQ(list.Count(), 2);
}

TEST(ThreadStringList, ConcurrentAddsAreAllKept) {
  TThreadStringList list;
  RunThreads(8, [&](int t) {
    for (int i = 0; i < 1000; ++i) list.Add(std::to_string(t) + "/" + std::to_string(i));
  });
  EXPECT_EQ(list.Count(), 8000);
  std::set<std::string> distinct;
  for (int i = 0; i < list.Count(); ++i) distinct.insert(list.Strings(i));
  EXPECT_EQ(distinct.size(), 8000u);
}

TEST(ThreadStringList, CheckThenAddUnderTheLockMakesNoDuplicates) {
  TThreadStringList list;
  RunThreads(8, [&](int t) {
    for (int i = 0; i < 200; ++i) {
      const std::string key = "k" + std::to_string((i * 7 + t * 13) % 200);
      if (t % 2 == 0) {
        TStringList& inner = list.LockList();
        if (inner.IndexOf(key) < 0) inner.Add(key);
        list.UnlockList();
      } else {
        TLockedList locked(list);
        if (list.IndexOf(key) < 0) list.Add(key);  // guarded calls under the lock
      }
    }
  });
  EXPECT_EQ(list.Count(), 200);
  std::set<std::string> distinct;
  for (int i = 0; i < list.Count(); ++i) distinct.insert(list.Strings(i));
  EXPECT_EQ(distinct.size(), 200u);
}

TEST(ThreadStringList, GuardedCallsInsideLockListDoNotDeadlock) {
  TThreadStringList list;
  TStringList& inner = list.LockList();
  list.Add("a=1");
  list.SetValues("b", "2");
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Values("a"), "1");
  EXPECT_EQ(list.Text(), "a=1\r\nb=2\r\n");
  {
    TStringList& again = list.LockList();  // nested on the same thread
    EXPECT_EQ(&again, &inner);
    auto locked = list.Locked();
    locked->Add("c");
    EXPECT_TRUE(list.UnlockList());
  }
  EXPECT_EQ(inner.Count(), 3);
  EXPECT_TRUE(list.UnlockList());
  EXPECT_FALSE(list.UnlockList());  // nothing left to release: ignored
  list.Add("d");                    // and the lock still works
  EXPECT_EQ(list.Count(), 4);
}

TEST(ThreadStringList, LockListKeepsOtherThreadsOutUntilUnlocked) {
  TThreadStringList list;
  std::atomic<bool> started{false}, added{false}, foreignUnlock{true};
  TStringList& inner = list.LockList();
  std::thread other([&] {
    foreignUnlock = list.UnlockList();  // not this thread's lock
    started = true;
    list.Add("late");
    added = true;
  });
  while (!started) std::this_thread::sleep_for(1ms);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(foreignUnlock);
  EXPECT_FALSE(added);
  EXPECT_EQ(inner.Count(), 0);
  inner.Add("first");
  list.UnlockList();
  other.join();
  EXPECT_TRUE(added);
  EXPECT_EQ(list.Strings(0), "first");
  EXPECT_EQ(list.Strings(1), "late");
}

TEST(ThreadStringList, LockedGuardReleasesAtTheEndOfItsScope) {
  TThreadStringList list;
  {
    TLockedList locked(list);
    locked->Add("inside");
  }
  std::thread other([&] { list.Add("after"); });
  other.join();
  EXPECT_EQ(list.Count(), 2);
}

TEST(ThreadStringList, GlobalLockThenListLockIsTheOrderUsed) {
  TThreadStringList list;
  RunThreads(4, [&](int t) {
    for (int i = 0; i < 200; ++i) {
      if ((i + t) % 2 == 0) {
        TGlobalMapLockGuard global(GlobalMapLock());
        TLockedList locked(list);
        locked->Add("g");
      } else {
        list.Add("l");
      }
    }
  });
  EXPECT_EQ(list.Count(), 800);
}

TEST(ThreadStringList, MixedOperationsFromManyThreadsKeepEntriesWhole) {
  // Every entry keeps its object: "front" none, "k<i>" the number i.
  TThreadStringListOf<std::shared_ptr<int>> list;
  RunThreads(6, [&](int t) {
    for (int i = 0; i < 500; ++i) {
      switch ((i + t) % 6) {
        case 0:
          list.AddObject("k" + std::to_string(i), std::make_shared<int>(i));
          break;
        case 1:
          list.Delete(0);
          break;
        case 2:
          list.IndexOf("k" + std::to_string(i - 1));
          break;
        case 3:
          (void)list.Objects(list.Count() - 1);
          break;
        case 4:
          list.Exchange(0, list.Count() - 1);
          break;
        default:
          list.InsertObject(0, "front", nullptr);
          break;
      }
      if (i % 50 == 0) (void)list.Text();
    }
  });
  TLockedList locked(list);
  for (int i = 0; i < locked->Count(); ++i) {
    const std::string& s = locked->Strings(i);
    const std::shared_ptr<int>& object = locked->Objects(i);
    if (s == "front") {
      EXPECT_EQ(object, nullptr);
    } else {
      ASSERT_NE(object, nullptr) << s;
      EXPECT_EQ(s, "k" + std::to_string(*object));
    }
  }
}

TEST(ThreadStringList, TextFormsAndFilesPassThrough) {
  TThreadStringList list;
  list.SetDelimiter(';');
  list.SetDelimitedText("a; \"b;c\" ;d e");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Strings(1), "b;c");
  EXPECT_EQ(list.CommaText(), "a,b;c,d,e");

  const std::string path = ::testing::TempDir() + "wy_thread_string_list.txt";
  ASSERT_TRUE(list.SaveToFile(path));
  TThreadStringList back;
  ASSERT_TRUE(back.LoadFromFile(path));
  EXPECT_EQ(back.GetText(), list.Text());
  std::remove(path.c_str());
  EXPECT_FALSE(back.LoadFromFile(path));
  EXPECT_EQ(back.Count(), 4);  // unchanged

  TMemoryStream stream;
  ASSERT_TRUE(list.SaveToStream(stream));
  stream.SetPosition(0);
  TThreadStringList fromStream;
  ASSERT_TRUE(fromStream.LoadFromStream(stream));
  EXPECT_EQ(fromStream.Text(), list.Text());
}

}  // namespace
}  // namespace wy
