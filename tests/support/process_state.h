// What the kernel shows of a running process, for tests that must act once
// a program (or a thread of the test itself) has reached a certain point:
// which files it has open, and whether a thread is blocked.
#pragma once

#include <sys/types.h>

#include <string>

namespace et::test {

// How many descriptors of the process `pid` are open on the file `path`
// (the same file, whatever name it was opened by); 0 when the file or the
// process does not exist.
int DescriptorsOn(pid_t pid, const std::string& path);

// True while the thread `tid` of the process `pid` is asleep: blocked in a
// wait (a sleep, a lock, a read), not running or ready to run.
bool Asleep(pid_t pid, pid_t tid);

}  // namespace et::test
