#pragma once

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <cstddef>

namespace oxRenderUtil
{
// fn(begin, end) over [0, n) in blocks on TBB's threads; small inputs stay on this one. Isolated:
// a thread waiting here takes no unrelated work, such as another mesh's estimate that a caller
// holds a once-flag for.
template <class Fn> void parallelFor(std::size_t n, const Fn& fn)
{
    tbb::this_task_arena::isolate(
        [&]
        {
            tbb::parallel_for(tbb::blocked_range<std::size_t>(0, n, 20000),
                              [&](const tbb::blocked_range<std::size_t>& r) { fn(r.begin(), r.end()); });
        });
}
} // namespace oxRenderUtil
