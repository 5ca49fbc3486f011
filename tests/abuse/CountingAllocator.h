#pragma once
// Global operator new and delete are replaced in this test program (the dlopen-ed
// module resolves them here too), so a test can count what one thread allocates.

namespace tessaron::test {

// False in sanitizer builds: their runtimes own operator new and check it themselves.
bool CountingAllocations();
// Allocations made by the calling thread while watching are counted.
void WatchAllocations(bool on);
long WatchedAllocations();
void ForgetAllocations();

}  // namespace tessaron::test
