#include "platform/owned_worker.h"

#include <exception>
#include <utility>

#include "platform/log.h"

namespace wy {

TOwnedWorker::TOwnedWorker(TThreadStarter starter) : FStarter(std::move(starter)) {}

TOwnedWorker::~TOwnedWorker() {
  FAlive->store(false);
  ClearQueue();
  Stop();
}

bool TOwnedWorker::Start(TWork work, const std::string& what, std::string* error) {
  if (FBusy) {
    if (error) *error = "a request is running";
    return false;
  }
  if (FThread.joinable()) FThread.join();
  FStop = false;
  std::string reason;
  try {
    FThread = FStarter ? FStarter(std::move(work)) : std::thread(std::move(work));
  } catch (const std::exception& e) {
    reason = e.what();
  }
  if (reason.empty() && !FThread.joinable()) reason = "the thread did not start";
  if (!reason.empty()) {
    LogWarning("threads", what + ": no worker thread: " + reason);
    if (error) *error = "no worker thread: " + reason;
    return false;
  }
  FBusy = true;
  return true;
}

std::function<bool()> TOwnedWorker::AbortCheck() const {
  const std::atomic<bool>* stop = &FStop;
  return [stop] { return stop->load(); };
}

void TOwnedWorker::Join() {
  if (FThread.joinable()) FThread.join();
  FBusy = false;
}

void TOwnedWorker::Stop() {
  Cancel();
  Join();
}

void TOwnedWorker::Push(std::string request) {
  std::lock_guard<std::mutex> lock(FQueueMutex);
  FQueue.push_back(std::move(request));
}

void TOwnedWorker::Push(const std::vector<std::string>& requests) {
  std::lock_guard<std::mutex> lock(FQueueMutex);
  FQueue.insert(FQueue.end(), requests.begin(), requests.end());
}

bool TOwnedWorker::TakeNext(std::string& request) {
  if (FBusy) return false;
  std::lock_guard<std::mutex> lock(FQueueMutex);
  if (FQueue.empty()) return false;
  request = std::move(FQueue.front());
  FQueue.pop_front();
  return true;
}

size_t TOwnedWorker::QueuedCount() const {
  std::lock_guard<std::mutex> lock(FQueueMutex);
  return FQueue.size();
}

void TOwnedWorker::ClearQueue() {
  std::lock_guard<std::mutex> lock(FQueueMutex);
  FQueue.clear();
}

}  // namespace wy
