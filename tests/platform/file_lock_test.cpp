#include "platform/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "platform/error.h"
#include "support/file_lock_holder.h"
#include "support/process_state.h"
#include "support/temp_dir.h"

namespace et {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Waits until `waiter`, a thread of this process that announces its id and
// then asks for the lock of `path` while another descriptor holds it, is in
// its wait: a second descriptor is open on the file and the thread is
// asleep. False when that is not seen within ten seconds.
bool WaitUntilWaiting(std::future<pid_t>& waiter, const std::string& path) {
  const pid_t tid = waiter.get();
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (std::chrono::steady_clock::now() < deadline) {
    if (test::DescriptorsOn(::getpid(), path) >= 2 && test::Asleep(::getpid(), tid)) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TEST(FileLock, FreeLockIsTakenAndTheFileRemovedWhenItEnds) {
  test::TempDir dir;
  const std::string path = dir.File(".blocco");
  {
    std::optional<FileLock> lock = FileLock::Acquire(path, 0ms);
    ASSERT_TRUE(lock);
    EXPECT_TRUE(lock->Held());
    // Another open file description of the same file cannot lock it now.
    EXPECT_THROW(test::FileLockHolder other(path), std::runtime_error);
    FileLock moved = std::move(*lock);
    EXPECT_FALSE(lock->Held());
    EXPECT_TRUE(moved.Held());
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(FileLock::Acquire(path, 0ms));
}

TEST(FileLock, HeldLockWaitsThenGivesUp) {
  test::TempDir dir;
  const std::string path = dir.File(".blocco");
  test::FileLockHolder other(path);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(FileLock::Acquire(path, 300ms));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);
  EXPECT_FALSE(FileLock::Acquire(path, 0ms));
}

TEST(FileLock, LockReleasedDuringTheWaitIsTaken) {
  test::TempDir dir;
  const std::string path = dir.File(".blocco");
  std::optional<test::FileLockHolder> other(std::in_place, path);
  std::promise<pid_t> started;
  std::future<pid_t> waiter_id = started.get_future();
  std::optional<FileLock> lock;
  std::thread waiter([&] {
    started.set_value(::gettid());
    lock = FileLock::Acquire(path, 20s);
  });
  EXPECT_TRUE(WaitUntilWaiting(waiter_id, path));
  other.reset();
  waiter.join();
  EXPECT_TRUE(lock);
}

// The holder before removed the file while a waiter had it open: the waiter
// must lock the file that the name leads to now, or two runs would both
// believe they hold the directory.
TEST(FileLock, RemovedFileIsNotMistakenForTheLock) {
  test::TempDir dir;
  const std::string path = dir.File(".blocco");
  std::optional<FileLock> first = FileLock::Acquire(path, 0ms);
  ASSERT_TRUE(first);
  std::optional<FileLock> second;
  std::promise<pid_t> started;
  std::future<pid_t> waiter_id = started.get_future();
  std::thread waiter([&] {
    started.set_value(::gettid());
    second = FileLock::Acquire(path, 20s);
  });
  // The waiter has the file open when it is removed.
  EXPECT_TRUE(WaitUntilWaiting(waiter_id, path));
  first.reset();  // removes the file, then unlocks
  waiter.join();
  ASSERT_TRUE(second);
  // The lock held is on the file of that name.
  EXPECT_THROW(test::FileLockHolder third(path), std::runtime_error);
}

TEST(FileLock, FileThatCannotBeOpenedRaises) {
  test::TempDir dir;
  EXPECT_THROW(FileLock::Acquire(dir.File("manca/.blocco"), 0ms), Error);
}

TEST(FileLock, SymbolicLinkAtTheNameIsRefusedAndNotFollowed) {
  struct Case {
    const char* label;
    bool target_exists;
  };
  const Case cases[] = {{"link to a missing file", false}, {"link to an existing file", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    test::TempDir dir;
    const std::string target = dir.File("bersaglio");
    if (c.target_exists) test::WriteFile(target, "contenuto\n");
    const std::string path = dir.File(".blocco");
    fs::create_symlink(target, path);
    try {
      FileLock::Acquire(path, 0ms);
      ADD_FAILURE() << "the link was followed";
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()),
                "Il file di blocco \"" + path +
                    "\" è un collegamento simbolico: non viene seguito. Rimuovere il collegamento");
    }
    EXPECT_EQ(fs::exists(target), c.target_exists) << "the link's target was created";
    if (c.target_exists) {
      EXPECT_EQ(test::ReadFile(target), "contenuto\n");
    }
    EXPECT_TRUE(fs::is_symlink(path)) << "the link itself stays for the administrator";
  }
}

}  // namespace
}  // namespace et
