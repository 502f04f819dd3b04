#pragma once
// Work on many files spread over the machine's cores, with the results handed
// back in the order of the jobs, so output keeps the order of the arguments.

#include <QList>
#include <QtConcurrent/QtConcurrentMap>
#include <type_traits>

#include "cli/progress.h"

namespace cli {

// Runs work(job) for every job on the thread pool and calls take(result) on
// the calling thread in job order, each as soon as it and all before it are done.
template <class Job, class Work, class Take>
void inOrder(const QList<Job>& jobs, Work work, Take take, Progress& progress) {
  using Result = std::invoke_result_t<Work, const Job&>;
  if (jobs.size() == 1) {  // no pool to start for one file
    take(work(jobs.front()));
    progress.advance(1);
    return;
  }
  QFuture<Result> results = QtConcurrent::mapped(jobs, std::function<Result(const Job&)>(work));
  for (qsizetype i = 0; i < jobs.size(); ++i) {
    take(results.resultAt(i));
    progress.advance(static_cast<size_t>(i) + 1);
  }
}

}  // namespace cli
