#ifndef VOKDYNSweep_h
#define VOKDYNSweep_h
// Work cut into numbered batches, run on worker threads so that the result
// does not depend on how many there are or how they are scheduled: worker w
// of n takes the contiguous run of batches [B w / n, B (w + 1) / n), each
// batch writes only its own results, and a failure is the one of the lowest
// batch, as a single thread meets it.
#include <cstddef>
#include <functional>

namespace vokdyn {

/// Progress: units done and their total. See RunBatches for when it is called.
using Progress = std::function<void(std::size_t, std::size_t)>;

/// Runs batch b of work on its worker: iWork(worker, b), returning the units
/// of work it did (for progress). Called on a worker thread, never on the
/// calling one; the batches of one worker run in increasing order.
using BatchWork = std::function<std::size_t(std::size_t iWorker, std::size_t iBatch)>;

/// No more workers than this: more would only wait for each other.
constexpr std::size_t kMaxWorkers = 256;

/// The number of workers RunBatches starts for iBatches batches on at most
/// iThreads threads (below 1 counts as 1): between 1 and kMaxWorkers, never
/// more than the batches.
std::size_t WorkerCount(std::size_t iBatches, int iThreads);

/// Runs every batch on WorkerCount(iBatches, iThreads) workers, the calling
/// thread only waiting. A worker stops at its first failed batch (an
/// exception), or before a batch lying past a failure already found; every
/// batch below the lowest failure still runs. Once every worker is joined,
/// the exception of the lowest failed batch is rethrown.
/// iProgress(done, iTotalUnits) is called on the calling thread only: at
/// most every 50 ms while the units done grow, and with the total once when
/// every batch succeeded. An exception it throws stops the workers, joins
/// them and propagates.
void RunBatches(std::size_t iBatches, int iThreads, const BatchWork& iWork, std::size_t iTotalUnits,
                const Progress& iProgress);

}  // namespace vokdyn

#endif
