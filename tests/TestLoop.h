// Helpers for tests that run the engine on this thread's event loop.
#pragma once

#include <chrono>
#include <functional>

namespace quill::test {

// Processes events until `done` returns true or `timeout` passes; returns done().
bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Processes the events that are pending now (posted requests included).
void DrainEvents();

// The number of descriptors this process holds open.
int OpenDescriptorCount();

// Checks that the process has its QCoreApplication (made by the test main).
void EnsureApplication();

} // namespace quill::test
