#pragma once
// Work on many files spread over the machine's cores, with the results handed
// back in the order of the jobs, so output keeps the order of the arguments.

#include <QList>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>
#include <deque>
#include <type_traits>

#include "cli/progress.h"

namespace cli {

// Runs work(job) for every job on the thread pool and calls take(result) on
// the calling thread in job order, each as soon as it and all before it are
// done. A few jobs a thread run ahead, so that the results waiting to be taken
// (a listing's text, for one) stay few however many jobs there are.
template <class Job, class Work, class Take>
void inOrder(const QList<Job>& jobs, Work work, Take take, Progress& progress) {
  using Result = std::invoke_result_t<Work, const Job&>;
  if (jobs.size() == 1) {  // no pool to start for one file
    take(work(jobs.front()));
    progress.advance(1);
    return;
  }
  const auto ahead =
      static_cast<size_t>(4 * std::max(1, QThreadPool::globalInstance()->maxThreadCount()));
  std::deque<QFuture<Result>> running;
  qsizetype next = 0;
  for (size_t done = 1; next < jobs.size() || !running.empty(); ++done) {
    while (next < jobs.size() && running.size() < ahead)
      running.push_back(QtConcurrent::run(work, jobs[next++]));
    take(running.front().takeResult());
    running.pop_front();
    progress.advance(done);
  }
}

}  // namespace cli
