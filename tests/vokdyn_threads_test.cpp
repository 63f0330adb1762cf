// The threaded runs: one thread's bits, progress on the caller only, the lowest failed batch
// reported whatever the order of failures, nothing left alive after a failure.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNRandom.h"
#include "VOKDYNTestTowers.h"
#include "VOKDYNTransient.h"
#include "VOKTestSupport.h"

namespace {

using namespace vokdyn;

class VokdynThreads : public VOKTest {};

// The default model over a longer log sweep (188 batches), or at a list.
Model LongSweepModel() {
  Model model = DefaultModel();
  model.sweep = {true, 0.25, 20.0, 6000, Spacing::Log, {}};
  return model;
}
Model DefaultModelAt(const std::vector<double>& iFrequencies) {
  Model model = DefaultModel();
  model.sweep = {false, 0.0, 0.0, 0, Spacing::Linear, iFrequencies};
  return model;
}

TEST_F(VokdynThreads, EveryRunGivesTheBitsOfOneThreadWhateverTheThreadCount) {
  // What each run writes: 17 significant digits tell every bit of every value.
  struct Row { std::string name; std::function<std::string(int)> output; std::vector<int> threads; };
  auto harmonic = [](const std::string& iName, const Model& iModel, std::vector<int> iThreads) {
    return Row{iName, [iModel](int n) { return CsvText(RunHarmonic(iModel, Progress(), n).response); }, iThreads};
  };
  // Unordered and repeated frequencies stay in place; more threads than batches leave none out.
  std::vector<Row> rows = {harmonic("default model", DefaultModel(), {2, 3, 7}), harmonic("long log sweep", LongSweepModel(), {2, 3, 7}),
                           harmonic("unordered list", DefaultModelAt({9.0, 0.7, 3.1, 0.7, 5.5, 1.25, 9.0, 2.0, 0.5}), {2, 64}),
                           harmonic("one frequency", DefaultModelAt({2.5}), {4, 1000})};
  for (const char* file : {"two-storey-shakers.json", "tower-rocking-base.json", "beam-support-settlement.json"})
    rows.push_back(harmonic(file, LoadModelFile(std::string(VOKDYN_EXAMPLES) + "/" + file), {2, 7}));
  // Random: 16 batches of the example's 4000 frequencies, three inputs each run threaded.
  Model frame;
  RandomSection random;
  LoadRandomModel(vokdyn_test::ReadText(std::string(VOKDYN_EXAMPLES) + "/frame-random-shakers.json"), "frame.json", frame, random);
  rows.push_back({"random", [=](int n) { const RandomResult r = RunRandom(frame, random, n); return RandomCsv(r) + RandomSummaryCsv(r); },
                  {2, 3, 7}});
  // Transient: a tower of 12 modes (three batches of modes) over 5001 times (two batches), loaded on top.
  const Model tower = vokdyn_test::SmallTower(12, 12, 10, 4);
  ASSERT_FALSE(tower.loads.empty());
  TransientSection transient;
  transient.present = true;
  transient.step = 0.01;
  transient.steps = 5000;
  transient.quantity = Quantity::Acceleration;
  transient.inputs = {{{InputKind::Load, 0, "load", {}}, {{0.0, 0.0}, {0.3, 1.0}, {0.6, -1.0}, {1.0, 0.0}}}};
  rows.push_back({"transient", [=](int n) { return TransientCsv(RunTransient(tower, transient, n)); }, {2, 5}});
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string one = row.output(1);
    for (int threads : row.threads) EXPECT_EQ(row.output(threads), one) << threads << " threads";
  }
  // Value t of a long sweep is frequency t alone, wherever batches or shares meet.
  const Model model = LongSweepModel();
  const std::vector<float> f = SweepFrequencies(model.sweep);
  const RunResult whole = RunHarmonic(model, Progress(), 3);
  for (std::size_t t : {std::size_t{0}, kSweepBatch - 1, kSweepBatch, 63 * kSweepBatch, 125 * kSweepBatch + 1, f.size() - 1}) {
    const RunResult alone = RunHarmonic(DefaultModelAt({f[t]}), Progress(), 1);
    for (std::size_t o = 0; o < whole.response.values.size(); ++o)
      EXPECT_EQ(0, std::memcmp(&whole.response.values[o][t], &alone.response.values[o][0], sizeof(std::complex<double>))) << t;
  }
}

TEST_F(VokdynThreads, ProgressIsReportedOnTheCallingThreadAndAThrowStopsTheWorkers) {
  const Model model = LongSweepModel();
  const std::size_t count = SweepFrequencies(model.sweep).size();
  for (int threads : {1, 2, 7}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    bool otherThread = false;
    const std::thread::id caller = std::this_thread::get_id();
    RunHarmonic(model, [&](std::size_t iDone, std::size_t iTotal) {
      otherThread |= std::this_thread::get_id() != caller;
      calls.emplace_back(iDone, iTotal);
    }, threads);
    EXPECT_FALSE(otherThread);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front(), std::make_pair(std::size_t{0}, count));
    EXPECT_EQ(calls.back(), std::make_pair(count, count));
    for (std::size_t k = 1; k < calls.size(); ++k) EXPECT_GT(calls[k].first, calls[k - 1].first) << "call " << k;
    // A callback that throws stops the run; every object is released (the fixture counts them).
    struct Stop {};
    EXPECT_THROW(RunHarmonic(model, [](std::size_t iDone, std::size_t) { if (iDone > 0) throw Stop{}; }, threads), Stop);
  }
}

TEST_F(VokdynThreads, TheLowestFailedBatchIsReportedWhateverOrderTheFailuresComeIn) {
  // The batches of "order" fail in that order, each waiting (5 s at most) for those before it: failing
  // the highest first defeats a report of the first failure in time.
  struct Row { const char* label; std::size_t batches; int threads; std::vector<std::size_t> order; std::size_t reported; };
  const Row rows[] = {
      {"one thread", 12, 1, {5}, 5},
      {"every worker fails, the highest first", 12, 4, {11, 8, 5, 2}, 2},
      {"two workers, the second first", 10, 2, {7, 6, 1}, 1},
      {"the lowest alone", 12, 3, {4}, 4},
      {"the last batch", 9, 3, {8}, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::mutex mutex;
    std::condition_variable turnChanged;
    std::size_t turn = 0;
    std::vector<int> runs(row.batches, 0);
    std::atomic<bool> onCaller{false};
    const std::thread::id caller = std::this_thread::get_id();
    auto work = [&](std::size_t, std::size_t iBatch) -> std::size_t {
      onCaller = onCaller || std::this_thread::get_id() == caller;
      std::unique_lock<std::mutex> lock(mutex);
      ++runs[iBatch];
      auto at = std::find(row.order.begin(), row.order.end(), iBatch);
      if (at == row.order.end()) return 1;
      const std::size_t mine = static_cast<std::size_t>(at - row.order.begin());
      turnChanged.wait_for(lock, std::chrono::seconds(5), [&] { return turn == mine; });
      ++turn;
      turnChanged.notify_all();
      throw std::runtime_error(std::to_string(iBatch));
    };
    std::string reported;
    try {
      RunBatches(row.batches, row.threads, work, row.batches, Progress());
    } catch (const std::runtime_error& e) {
      reported = e.what();
    }
    EXPECT_EQ(reported, std::to_string(row.reported));
    EXPECT_FALSE(onCaller);
    // Every batch up to the reported one ran, once; none ran twice.
    for (std::size_t b = 0; b < row.batches; ++b) EXPECT_TRUE(runs[b] == 1 || (runs[b] == 0 && b > row.reported)) << b;
  }
}

TEST_F(VokdynThreads, EveryHostFailureOfAThreadedRunEndsItCleanlyAndAsOneThreadReportsIt) {
  // The k-th host operation of each worker fails: the message is the one thread's.
  const Model model = LongSweepModel();
  auto failing = [&](int iThreads, long iOperation) {
    std::string what = "(no failure)";
    try {
      RunHarmonic(model, [iOperation](std::size_t iDone, std::size_t) { if (iDone == 0) VOKHost::FaultArmPerWorker(iOperation); }, iThreads);
    } catch (const ComputationError& e) {
      what = e.what();
    }
    VOKHost::FaultDisarm();
    return what;
  };
  const std::string one = failing(1, 2);
  EXPECT_EQ(one.rfind("VOKDYNExcitationTools::GetExcitValues failed at ", 0), 0u) << one;
  for (int threads : {3, 7}) EXPECT_EQ(failing(threads, 2), one) << threads << " threads";

  // Each host operation of a four-thread run fails in turn: an error naming it or a completed
  // run (an ungiven modulation weighs 0), never a leak (the fixture counts what is left alive).
  const Model rocking = LoadModelFile(std::string(VOKDYN_EXAMPLES) + "/tower-rocking-base.json");
  auto armAt = [](long k) { return [k](std::size_t iDone, std::size_t) { if (iDone == 0) VOKHost::FaultArm(k); }; };
  RunHarmonic(rocking, armAt(0), 4);
  const long operations = VOKHost::FaultCount();
  VOKHost::FaultDisarm();
  ASSERT_GT(operations, 20);
  int sweepFailures = 0;
  for (long k = 1; k <= operations; ++k) {
    SCOPED_TRACE("fault at host operation " + std::to_string(k));
    try {
      RunHarmonic(rocking, armAt(k), 4);
    } catch (const ComputationError& e) {
      // "<operation> failed[ at ...]: result <hex>", a failure, or a success that gave no value per mode.
      const std::string what = e.what();
      sweepFailures += e.Operation() == "VOKDYNExcitationTools::GetExcitValues";
      EXPECT_EQ(what.rfind(e.Operation() + " failed", 0), 0u) << what;
      EXPECT_NE(what.find(": result " + HexResult(e.Result())), std::string::npos) << what;
      EXPECT_TRUE(e.Result() < 0 || what.find("one value per mode") != std::string::npos) << what;
    } catch (const ModelError&) {
      // A failure that the damping tools report as an unusable definition.
    }
    VOKHost::FaultDisarm();
  }
  EXPECT_GT(sweepFailures, 0);
}

}  // namespace
