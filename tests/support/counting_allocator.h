// Linking counting_allocator.cpp replaces the program's global allocator
// with one that can count, to show that a piece of code allocates nothing.
#pragma once

#include <functional>

namespace test_support {

// How many allocations `work` made through operator new, in any thread.
long allocationsDuring(const std::function<void()>& work);

}  // namespace test_support
