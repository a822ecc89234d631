#include "calibration/evaluator.hpp"

#include <omp.h>

namespace torva {

void Evaluator::for_each(int n, const std::function<void(int task, int worker)>& task) {
    const int w = workers() < n ? workers() : n;
    if (w <= 1) {
        for (int i = 0; i < n; ++i) task(i, 0);
        return;
    }
    // Each worker takes one contiguous block, as a static schedule would, on
    // a thread of its own.
#pragma omp parallel num_threads(w)
    {
        const int worker = omp_get_thread_num();
        const int count = omp_get_num_threads();
        const int first = static_cast<int>(static_cast<long>(n) * worker / count);
        const int last = static_cast<int>(static_cast<long>(n) * (worker + 1) / count);
        for (int i = first; i < last; ++i) task(i, worker);
    }
}

}  // namespace torva
