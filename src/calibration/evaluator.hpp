#pragma once
// What scores candidate points for a search: a simulation of the watershed,
// the same on another process, or a test function with a known optimum.

#include <functional>
#include <vector>

namespace torva {

using Point = std::vector<double>;  // one-based: element 0 holds nothing

class Evaluator {
  public:
    virtual ~Evaluator() = default;

    // How many evaluations may run at once; each has its own worker number,
    // 0 to workers() - 1.
    virtual int workers() const = 0;

    // The objective of point x (smaller magnitude is better). `number` is the
    // evaluation's own number, from 1, which also numbers the files it
    // writes. Calls on different workers may run at the same time.
    virtual double evaluate(const Point& x, int number, int worker) = 0;

    // Runs task(i, worker) for i = 0 to n - 1 on the workers: a static
    // division into contiguous blocks, block w on worker w. With one worker
    // the tasks run in order on the calling thread.
    void for_each(int n, const std::function<void(int task, int worker)>& task);
};

// An objective that is a plain function of the point, evaluated on the
// calling threads: the test functions of the search.
class FunctionEvaluator : public Evaluator {
  public:
    FunctionEvaluator(std::function<double(const Point&)> f, int workers = 1)
        : f_(std::move(f)), workers_(workers) {}
    int workers() const override { return workers_; }
    double evaluate(const Point& x, int, int) override { return f_(x); }

  private:
    std::function<double(const Point&)> f_;
    int workers_;
};

}  // namespace torva
