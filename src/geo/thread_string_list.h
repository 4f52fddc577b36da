#pragma once
// A string list shared between threads: every operation runs under the
// list's own re-entrant lock.
//
// For several operations that must not interleave, hold the lock across
// them: either LockList() ... UnlockList(), or a TLockedList guard for the
// scope. The lock is re-entrant, so the guarded operations of the same list
// may still be called while holding it.
//
// Lock order: when GlobalMapLock is needed as well, take GlobalMapLock first
// and the list's lock second; never the other way round.
//
// A new list is empty, unsorted, with dupIgnore, and does not own its
// objects unless TObject does (TThreadStringList holds plain void*).
// File and stream input/output happens outside the lock; only the exchange
// of the text with the list is locked.

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "geo/string_list.h"

namespace wy {

template <typename TObject>
class TLockedList;

template <typename TObject>
class TThreadStringListOf {
 public:
  using TList = TStringListOf<TObject>;

  TThreadStringListOf() = default;
  // No other thread may use the list once destruction has begun.
  ~TThreadStringListOf() {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FList.Clear();
  }
  TThreadStringListOf(const TThreadStringListOf&) = delete;
  TThreadStringListOf& operator=(const TThreadStringListOf&) = delete;

  // Takes the lock (blocking) and returns the inner list; the reference may
  // be used until the matching UnlockList. Calls nest on one thread.
  TList& LockList() {
    FLock.lock();
    if (FOwner.load() == std::this_thread::get_id()) {
      ++FDepth;
    } else {
      FOwner.store(std::this_thread::get_id());
      FDepth = 1;
    }
    return FList;
  }
  // Releases one LockList. Returns false, and does nothing, when this thread
  // holds no LockList of this list.
  bool UnlockList() {
    if (FOwner.load() != std::this_thread::get_id() || FDepth <= 0) return false;
    if (--FDepth == 0) FOwner.store(std::thread::id());
    FLock.unlock();
    return true;
  }
  // LockList for the lifetime of the returned guard.
  TLockedList<TObject> Locked() { return TLockedList<TObject>(*this); }

  int Add(const std::string& s) {
    return WithLock([&](TList& l) { return l.Add(s); });
  }
  int AddObject(const std::string& s, TObject object) {
    return WithLock([&](TList& l) { return l.AddObject(s, std::move(object)); });
  }
  // strings must not be this list's inner list while another thread holds it.
  void AddStrings(const TList& strings) {
    WithLock([&](TList& l) { l.AddStrings(strings); });
  }
  void AddStrings(const std::vector<std::string>& strings) {
    WithLock([&](TList& l) { l.AddStrings(strings); });
  }
  bool Insert(int index, const std::string& s) {
    return WithLock([&](TList& l) { return l.Insert(index, s); });
  }
  bool InsertObject(int index, const std::string& s, TObject object) {
    return WithLock([&](TList& l) { return l.InsertObject(index, s, std::move(object)); });
  }
  bool Delete(int index) {
    return WithLock([&](TList& l) { return l.Delete(index); });
  }
  void Clear() {
    WithLock([](TList& l) { l.Clear(); });
  }
  bool Exchange(int index1, int index2) {
    return WithLock([&](TList& l) { return l.Exchange(index1, index2); });
  }
  void Sort() {
    WithLock([](TList& l) { l.Sort(); });
  }

  bool Find(std::string_view s, int& index) const {
    return WithLock([&](const TList& l) { return l.Find(s, index); });
  }
  int IndexOf(std::string_view s) const {
    return WithLock([&](const TList& l) { return l.IndexOf(s); });
  }
  int IndexOfName(std::string_view name) const {
    return WithLock([&](const TList& l) { return l.IndexOfName(name); });
  }
  int IndexOfObject(const TObject& object) const {
    return WithLock([&](const TList& l) { return l.IndexOfObject(object); });
  }

  // Copies: the entry may change as soon as the lock is released.
  std::string Strings(int index) const {
    return WithLock([&](const TList& l) { return l.Strings(index); });
  }
  bool SetStrings(int index, const std::string& s) {
    return WithLock([&](TList& l) { return l.SetStrings(index, s); });
  }
  TObject Objects(int index) const {
    return WithLock([&](const TList& l) { return l.Objects(index); });
  }
  bool SetObjects(int index, TObject object) {
    return WithLock([&](TList& l) { return l.SetObjects(index, std::move(object)); });
  }
  std::string Names(int index) const {
    return WithLock([&](const TList& l) { return l.Names(index); });
  }
  std::string ValueFromIndex(int index) const {
    return WithLock([&](const TList& l) { return l.ValueFromIndex(index); });
  }
  std::string Values(std::string_view name) const {
    return WithLock([&](const TList& l) { return l.Values(name); });
  }
  void SetValues(std::string_view name, const std::string& value) {
    WithLock([&](TList& l) { l.SetValues(name, value); });
  }

  int Count() const {
    return WithLock([](const TList& l) { return l.Count(); });
  }
  int Capacity() const {
    return WithLock([](const TList& l) { return l.Capacity(); });
  }
  void SetCapacity(int capacity) {
    WithLock([&](TList& l) { l.SetCapacity(capacity); });
  }
  TDuplicates Duplicates() const {
    return WithLock([](const TList& l) { return l.Duplicates(); });
  }
  void SetDuplicates(TDuplicates duplicates) {
    WithLock([&](TList& l) { l.SetDuplicates(duplicates); });
  }
  bool Sorted() const {
    return WithLock([](const TList& l) { return l.Sorted(); });
  }
  void SetSorted(bool sorted) {
    WithLock([&](TList& l) { l.SetSorted(sorted); });
  }
  char Delimiter() const {
    return WithLock([](const TList& l) { return l.Delimiter(); });
  }
  void SetDelimiter(char delimiter) {
    WithLock([&](TList& l) { l.SetDelimiter(delimiter); });
  }

  std::string Text() const {
    return WithLock([](const TList& l) { return l.Text(); });
  }
  std::string GetText() const { return Text(); }
  void SetText(std::string_view text) {
    WithLock([&](TList& l) { l.SetText(text); });
  }
  std::string CommaText() const {
    return WithLock([](const TList& l) { return l.CommaText(); });
  }
  void SetCommaText(std::string_view text) {
    WithLock([&](TList& l) { l.SetCommaText(text); });
  }
  std::string DelimitedText() const {
    return WithLock([](const TList& l) { return l.DelimitedText(); });
  }
  void SetDelimitedText(std::string_view text) {
    WithLock([&](TList& l) { l.SetDelimitedText(text); });
  }

  // False, and the list unchanged, when the file or stream cannot be read.
  bool LoadFromFile(const std::string& fileName) {
    std::string text;
    if (!string_list_detail::ReadTextFile(fileName, text)) return false;
    return WithLock([&](TList& l) { return l.TrySetText(text); });
  }
  bool LoadFromStream(TStream& stream) {
    std::string text;
    if (!string_list_detail::ReadTextStream(stream, text)) return false;
    return WithLock([&](TList& l) { return l.TrySetText(text); });
  }
  bool SaveToFile(const std::string& fileName) const {
    std::string text;
    bool bom = true;
    if (!Snapshot(text, bom)) return false;
    return string_list_detail::WriteTextFile(fileName, text, bom);
  }
  bool SaveToStream(TStream& stream) const {
    std::string text;
    bool bom = true;
    if (!Snapshot(text, bom)) return false;
    return string_list_detail::WriteTextStream(stream, text, bom);
  }

 private:
  template <typename F>
  auto WithLock(F&& f) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return f(FList);
  }
  template <typename F>
  auto WithLock(F&& f) const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return f(static_cast<const TList&>(FList));
  }
  bool Snapshot(std::string& text, bool& bom) const {
    try {
      std::lock_guard<std::recursive_mutex> guard(FLock);
      text = FList.Text();
      bom = FList.WriteBOM();
      return true;
    } catch (const std::exception&) {
      return false;
    }
  }

  mutable std::recursive_mutex FLock;
  TList FList;
  // The thread holding LockList and its depth; written only under FLock.
  std::atomic<std::thread::id> FOwner{};
  int FDepth = 0;
};

using TThreadStringList = TThreadStringListOf<void*>;

// Holds a thread string list's lock for its lifetime and gives access to
// the inner list:
//   { TLockedList locked(list); if (locked->IndexOf(k) < 0) locked->Add(k); }
template <typename TObject>
class TLockedList {
 public:
  explicit TLockedList(TThreadStringListOf<TObject>& list) : FOwner(list), FList(list.LockList()) {}
  ~TLockedList() { FOwner.UnlockList(); }
  TLockedList(const TLockedList&) = delete;
  TLockedList& operator=(const TLockedList&) = delete;

  TStringListOf<TObject>& List() const { return FList; }
  TStringListOf<TObject>* operator->() const { return &FList; }
  TStringListOf<TObject>& operator*() const { return FList; }

 private:
  TThreadStringListOf<TObject>& FOwner;
  TStringListOf<TObject>& FList;
};

}  // namespace wy
