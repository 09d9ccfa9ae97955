// SPDX-License-Identifier: MIT
#pragma once

#include <cstdlib>

namespace vantor::testing {

// A fuzz target's invariant: a broken one stops the run where the fuzzer can report it.
inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace vantor::testing
