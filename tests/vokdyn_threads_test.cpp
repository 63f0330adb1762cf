// The harmonic sweep on several threads: the same bits as on one thread for
// every model and thread count, frequencies that stay in their place, the
// progress reported on the calling thread only, a failure in a worker
// reported as one thread reports it, and nothing left alive after a failure.
// Also the stand-in's fault injection per worker thread, and the command
// line's --threads.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"
#include "VOKDYNOutput.h"
#include "VOKHostDynamics.h"
#include "VOKTempDirTest.h"
#include "VOKTestSupport.h"

namespace {

using namespace vokdyn;

class VokdynThreads : public VOKTest {};

std::string Format(double iValue) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", iValue);
  return text;
}

// The default model with an explicit list of frequencies.
Model DefaultModelAt(const std::vector<double>& iFrequencies) {
  Model model = DefaultModel();
  model.sweep.isRange = false;
  model.sweep.list = iFrequencies;
  return model;
}

// The default model over a longer log sweep, so that every worker of up to
// seven has several batches of frequencies.
Model LongSweepModel() {
  Model model = DefaultModel();
  model.sweep.isRange = true;
  model.sweep.from = 0.25;
  model.sweep.to = 20.0;
  model.sweep.steps = 6000;
  model.sweep.spacing = Spacing::Log;
  return model;
}

// Equality to the bit of two runs: the frequencies, every complex value, the
// damping values, and the CSV and peaks that the tool prints from them.
void ExpectSameBits(const RunResult& iReference, const RunResult& iRun) {
  const Response& a = iReference.response;
  const Response& b = iRun.response;
  ASSERT_EQ(a.frequencies.size(), b.frequencies.size());
  EXPECT_EQ(0, std::memcmp(a.frequencies.data(), b.frequencies.data(), a.frequencies.size() * sizeof(float)));
  ASSERT_EQ(a.values.size(), b.values.size());
  for (std::size_t o = 0; o < a.values.size(); ++o) {
    ASSERT_EQ(a.values[o].size(), b.values[o].size());
    for (std::size_t t = 0; t < a.values[o].size(); ++t)
      if (std::memcmp(&a.values[o][t], &b.values[o][t], sizeof a.values[o][t]) != 0) {
        ADD_FAILURE() << "output " << o << ", frequency " << t << " (" << a.frequencies[t]
                      << " Hz): " << a.values[o][t] << " against " << b.values[o][t];
        return;
      }
  }
  ASSERT_EQ(iReference.damping.values.size(), iRun.damping.values.size());
  EXPECT_EQ(0, std::memcmp(iReference.damping.values.data(), iRun.damping.values.data(),
                           iRun.damping.values.size() * sizeof(double)));
  EXPECT_EQ(CsvText(a), CsvText(b));
  for (std::size_t o = 0; o < a.outputs.size(); ++o) {
    Peak pa = PeakOf(a, o), pb = PeakOf(b, o);
    EXPECT_EQ(0, std::memcmp(&pa.magnitude, &pb.magnitude, sizeof pa.magnitude));
    EXPECT_EQ(0, std::memcmp(&pa.frequency, &pb.frequency, sizeof pa.frequency));
  }
}

TEST_F(VokdynThreads, EveryThreadCountGivesTheBitsOfOneThread) {
  struct Row {
    std::string name;
    Model model;
  };
  std::vector<Row> rows;
  rows.push_back({"default model", DefaultModel()});
  for (const char* file : {"two-storey-shakers.json", "tower-rocking-base.json", "beam-support-settlement.json"})
    rows.push_back({file, LoadModelFile(std::string(VOKDYN_EXAMPLES) + "/" + file)});
  rows.push_back({"long log sweep", LongSweepModel()});
  // Frequencies out of order and repeated: each stays in its own place.
  rows.push_back({"unordered list", DefaultModelAt({9.0, 0.7, 3.1, 0.7, 5.5, 1.25, 9.0, 2.0, 0.5})});

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RunResult one = RunHarmonic(row.model, Progress(), 1);
    ASSERT_FALSE(one.response.frequencies.empty());
    for (int threads : {2, 3, 7}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      ExpectSameBits(one, RunHarmonic(row.model, Progress(), threads));
    }
  }
}

TEST_F(VokdynThreads, MoreThreadsThanFrequenciesLeaveNothingOut) {
  struct Row {
    std::vector<double> frequencies;
    int threads;
  };
  const Row rows[] = {
      {{2.5}, 4}, {{0.5, 4.0}, 7}, {{0.5, 1.0, 1.5, 2.0, 2.5}, 64}, {{3.0, 3.0, 3.0}, 1000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.frequencies.size()) + " frequencies on " + std::to_string(row.threads) +
                 " threads");
    Model model = DefaultModelAt(row.frequencies);
    const RunResult one = RunHarmonic(model, Progress(), 1);
    const RunResult many = RunHarmonic(model, Progress(), row.threads);
    ExpectSameBits(one, many);
    // Every frequency was computed: the default model moves at every one.
    for (const auto& column : many.response.values)
      for (const auto& value : column) EXPECT_NE(value, std::complex<double>(0.0, 0.0));
  }
}

TEST_F(VokdynThreads, EachFrequencyGetsWhatItGetsAlone) {
  // A long sweep is evaluated in batches; value t of the sweep must be what
  // a sweep of frequency t alone gives (one batch of one), around every
  // place where batches or the threads' shares could meet.
  const Model model = LongSweepModel();
  const std::vector<float> frequencies = SweepFrequencies(model.sweep);
  const RunResult whole = RunHarmonic(model, Progress(), 3);
  // Batches and shares are whole multiples of 16 frequencies or more.
  std::vector<std::size_t> probes = {0, 1, frequencies.size() - 2, frequencies.size() - 1};
  for (std::size_t t = 15; t + 1 < frequencies.size(); t += 16) {
    probes.push_back(t);
    probes.push_back(t + 1);
  }
  for (std::size_t t : probes) {
    SCOPED_TRACE("frequency " + std::to_string(t) + ", " + Format(frequencies[t]) + " Hz");
    const RunResult alone = RunHarmonic(DefaultModelAt({frequencies[t]}), Progress(), 1);
    for (std::size_t o = 0; o < whole.response.values.size(); ++o)
      EXPECT_EQ(0, std::memcmp(&whole.response.values[o][t], &alone.response.values[o][0],
                               sizeof(std::complex<double>)))
          << whole.response.values[o][t] << " against " << alone.response.values[o][0];
  }
}

TEST_F(VokdynThreads, ProgressIsReportedOnTheCallingThreadInOrder) {
  const Model model = LongSweepModel();
  const std::size_t count = SweepFrequencies(model.sweep).size();
  for (int threads : {1, 2, 7}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    std::vector<std::pair<std::size_t, std::size_t>> calls;
    bool otherThread = false;
    const std::thread::id caller = std::this_thread::get_id();
    RunHarmonic(model,
                [&](std::size_t iDone, std::size_t iTotal) {
                  otherThread |= std::this_thread::get_id() != caller;
                  calls.emplace_back(iDone, iTotal);
                },
                threads);
    EXPECT_FALSE(otherThread);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front(), std::make_pair(std::size_t{0}, count));
    EXPECT_EQ(calls.back(), std::make_pair(count, count));
    for (std::size_t k = 1; k < calls.size(); ++k) {
      EXPECT_GT(calls[k].first, calls[k - 1].first) << "call " << k;
      EXPECT_EQ(calls[k].second, count);
    }
  }
}

TEST_F(VokdynThreads, AProgressCallbackThatThrowsStopsTheWorkersAndLeaksNothing) {
  struct Stop {};
  const Model model = LongSweepModel();
  const VOKHost::LiveCounts before = VOKHost::CurrentLiveCounts();
  for (int threads : {1, 4}) {
    SCOPED_TRACE(std::to_string(threads) + " threads");
    bool thrown = false;
    try {
      RunHarmonic(model,
                  [](std::size_t iDone, std::size_t) {
                    if (iDone > 0) throw Stop{};
                  },
                  threads);
    } catch (const Stop&) {
      thrown = true;
    }
    EXPECT_TRUE(thrown);
    EXPECT_TRUE(before == VOKHost::CurrentLiveCounts());
  }
}

// The message of the first batch that fails, as one thread reports it.
struct Failure {
  std::string what;
  std::string operation;
  long result = 0;
  std::string hit;
};

Failure RunFailingPerWorker(const Model& iModel, int iThreads, long iOperation) {
  Failure failure;
  try {
    RunHarmonic(iModel,
                [iOperation](std::size_t iDone, std::size_t) {
                  // Armed on the calling thread once the model is built: only
                  // the workers count, each on its own.
                  if (iDone == 0) VOKHost::FaultArmPerWorker(iOperation);
                },
                iThreads);
    ADD_FAILURE() << "the run did not fail";
  } catch (const ComputationError& e) {
    failure.what = e.what();
    failure.operation = e.Operation();
    failure.result = e.Result();
    failure.hit = VOKHost::FaultHitName();
  }
  VOKHost::FaultDisarm();
  return failure;
}

TEST_F(VokdynThreads, AWorkerFailureIsReportedAsOneThreadReportsIt) {
  const Model model = LongSweepModel();
  const std::vector<float> frequencies = SweepFrequencies(model.sweep);
  const VOKHost::LiveCounts before = VOKHost::CurrentLiveCounts();
  const std::string prefix = "VOKDYNExcitationTools::GetExcitValues failed at ";

  // The k-th host operation of the worker fails: its k-th batch. With more
  // workers, the k-th batch of every worker fails; the one of lowest
  // frequency is the one that a single thread meets.
  std::size_t nextFirst = 0;  // first frequency of the batch after the last one reported
  for (long k : {1L, 2L, 3L}) {
    SCOPED_TRACE("operation " + std::to_string(k) + " of each worker fails");
    const Failure one = RunFailingPerWorker(model, 1, k);
    EXPECT_EQ(one.operation, "VOKDYNExcitationTools::GetExcitValues");
    EXPECT_HR(E_FAIL, one.result);
    EXPECT_EQ(one.hit, "VOKIDYNBaseTools::GetNbDof");
    // Batches follow each other: batch k starts right after batch k - 1.
    const std::string start = prefix + Format(frequencies[nextFirst]) + " to ";
    ASSERT_EQ(one.what.rfind(start, 0), 0u) << one.what;
    const std::string last = one.what.substr(start.size(), one.what.find(" Hz") - start.size());
    std::size_t end = nextFirst;
    while (end < frequencies.size() && Format(frequencies[end]) != last) ++end;
    ASSERT_LT(end + 1, frequencies.size()) << "not mid-sweep: " << one.what;
    EXPECT_EQ(one.what, start + last + " Hz: result " + HexResult(E_FAIL));
    nextFirst = end + 1;
    EXPECT_TRUE(before == VOKHost::CurrentLiveCounts());

    for (int threads : {2, 3, 4, 7}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      const Failure many = RunFailingPerWorker(model, threads, k);
      EXPECT_EQ(many.what, one.what);
      EXPECT_EQ(many.operation, one.operation);
      EXPECT_HR(one.result, many.result);
      EXPECT_EQ(many.hit, one.hit);
      EXPECT_TRUE(before == VOKHost::CurrentLiveCounts());
    }
  }
}

TEST_F(VokdynThreads, EveryHostFailureOfAThreadedRunEndsItCleanly) {
  // The whole run on four threads, each host operation failed in turn
  // (counted across all threads): the run ends with an error naming a failed
  // operation, or completes (the library weighs a modulation that a failed
  // query did not give by 0), and in both cases leaves nothing alive.
  Model model = LoadModelFile(std::string(VOKDYN_EXAMPLES) + "/tower-rocking-base.json");
  const RunResult reference = RunHarmonic(model, Progress(), 1);
  auto armAt = [](long k) {
    return [k](std::size_t iDone, std::size_t) {
      if (iDone == 0) VOKHost::FaultArm(k);
    };
  };
  RunHarmonic(model, armAt(0), 4);
  const long operations = VOKHost::FaultCount();
  VOKHost::FaultDisarm();
  ASSERT_GT(operations, 20);

  const VOKHost::LiveCounts before = VOKHost::CurrentLiveCounts();
  int sweepFailures = 0;
  for (long k = 1; k <= operations; ++k) {
    SCOPED_TRACE("fault at host operation " + std::to_string(k));
    try {
      const RunResult run = RunHarmonic(model, armAt(k), 4);
      ASSERT_EQ(run.response.values.size(), reference.response.values.size());
      EXPECT_EQ(run.response.frequencies, reference.response.frequencies);
    } catch (const ComputationError& e) {
      if (e.Operation() == "VOKDYNExcitationTools::GetExcitValues") {
        ++sweepFailures;
        EXPECT_EQ(VOKHost::FaultHitName(), "VOKIDYNBaseTools::GetNbDof");
      }
      EXPECT_LT(e.Result(), 0) << e.what();
    } catch (const ModelError&) {
      // A failure that the damping tools report as an unusable definition.
    }
    VOKHost::FaultDisarm();
    EXPECT_TRUE(before == VOKHost::CurrentLiveCounts());
  }
  EXPECT_GT(sweepFailures, 0);
}

TEST_F(VokdynThreads, FaultsArmedPerWorkerFailTheSameOperationOfEveryOtherThread) {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses = {1.0};
  def.modalStiffnesses = {4.0};
  VOKHost::ModalNode node;
  node.id = 1;
  def.nodes = {node};
  def.shapes = {{1.0, 0.0, 0.0, 0.0, 0.0, 0.0}};
  VOKHost::ModalBase* base = VOKHost::ModalBase::Create(def);
  ASSERT_NE(base, nullptr);
  VOKIDYNBaseTools* tools = base;

  // Five calls of GetNbDof on a thread: their results.
  auto callsOnAThread = [tools] {
    std::vector<long> results;
    std::thread worker([&] {
      for (int c = 0; c < 5; ++c) {
        int n = 0;
        results.push_back(tools->GetNbDof(n));
      }
    });
    worker.join();
    return results;
  };
  const std::vector<long> thirdFails = {S_OK, S_OK, E_FAIL, S_OK, S_OK};

  VOKHost::FaultArmPerWorker(3);
  // The arming thread neither counts nor fails.
  for (int c = 0; c < 4; ++c) {
    int n = 0;
    EXPECT_HR(S_OK, tools->GetNbDof(n));
  }
  // Each other thread counts from its own start, new threads included.
  EXPECT_EQ(callsOnAThread(), thirdFails);
  EXPECT_EQ(callsOnAThread(), thirdFails);
  EXPECT_EQ(VOKHost::FaultHitName(), "VOKIDYNBaseTools::GetNbDof");
  EXPECT_EQ(VOKHost::FaultCount(), 10);

  // A thread that counted before a new arming counts again from 1.
  std::atomic<int> stage{0};
  std::vector<long> results;
  std::thread worker([&] {
    for (int c = 0; c < 2; ++c) {
      int n = 0;
      results.push_back(tools->GetNbDof(n));
    }
    stage = 1;
    while (stage.load() != 2) std::this_thread::yield();
    for (int c = 0; c < 2; ++c) {
      int n = 0;
      results.push_back(tools->GetNbDof(n));
    }
  });
  while (stage.load() != 1) std::this_thread::yield();
  VOKHost::FaultArmPerWorker(2);
  stage = 2;
  worker.join();
  EXPECT_EQ(results, (std::vector<long>{S_OK, S_OK, S_OK, E_FAIL}));

  // Disarmed, nothing fails anywhere; an ordinary arming counts this thread.
  VOKHost::FaultDisarm();
  EXPECT_EQ(callsOnAThread(), std::vector<long>(5, S_OK));
  VOKHost::FaultArm(1);
  int n = 0;
  EXPECT_HR(E_FAIL, tools->GetNbDof(n));
  VOKHost::FaultDisarm();
  base->Release();
}

// --------------------------------------------------------------- command line

class VokdynThreadsCli : public VOKTempDirTest {
 protected:
  static std::string Read(const std::string& iPath) {
    std::ifstream in(iPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Runs vokdyn with iArguments (shell words) in the temporary directory;
  // returns the exit status, standard output and standard error.
  int Run(const std::string& iArguments, std::string& oOut, std::string& oErr) const {
    std::string command = "cd '" + _Dir + "' && '" + VOKDYN_EXE + "' " + iArguments + " > '" + Path("stdout") +
                          "' 2> '" + Path("stderr") + "' < /dev/null";
    int raw = std::system(command.c_str());
    oOut = Read(Path("stdout"));
    oErr = Read(Path("stderr"));
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }
  // The summary without its time line, which differs from run to run.
  static std::string WithoutTime(const std::string& iSummary) {
    std::istringstream in(iSummary);
    std::string line, out;
    while (std::getline(in, line))
      if (line.rfind("  time ", 0) != 0) out += line + "\n";
    return out;
  }

 private:
};

TEST_F(VokdynThreadsCli, ThreadCountsGiveTheSameFilesAndSummary) {
  const std::string examples = VOKDYN_EXAMPLES;
  for (const std::string& model : {std::string(), examples + "/beam-support-settlement.json"}) {
    SCOPED_TRACE(model.empty() ? "default model" : model);
    std::string out1, err1;
    ASSERT_EQ(0, Run("harmonic " + model + " --threads 1 -o out.csv", out1, err1)) << err1;
    const std::string csv = Read(Path("out.csv"));
    ASSERT_GT(csv.size(), 1000u);
    for (const char* threads : {"2", "3", "16"}) {
      SCOPED_TRACE(std::string("--threads ") + threads);
      std::string out, err;
      ASSERT_EQ(0, Run("harmonic " + model + " --threads " + threads + " -o out.csv", out, err)) << err;
      EXPECT_EQ(Read(Path("out.csv")), csv);
      EXPECT_EQ(WithoutTime(out), WithoutTime(out1));
      EXPECT_EQ(err, err1);
    }
    // Without the option: the machine's cores, the same output again.
    std::string out, err;
    ASSERT_EQ(0, Run("harmonic " + model + " -o - -q", out, err)) << err;
    EXPECT_EQ(out, csv);
  }
}

TEST_F(VokdynThreadsCli, ABadThreadCountIsAUsageError) {
  struct Row {
    const char* value;
    const char* says;
  };
  const Row rows[] = {
      {"0", "less than 1"},          {"abc", "not a whole number"}, {"2.5", "not a whole number"},
      {"-3", "not a whole number"},  {"''", "not a whole number"},  {"4x", "not a whole number"},
      {"99999999999", "too large"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.value);
    std::string out, err;
    EXPECT_EQ(2, Run(std::string("harmonic --threads=") + row.value + " -o out.csv", out, err));
    EXPECT_NE(err.find("--threads"), std::string::npos) << err;
    EXPECT_NE(err.find(row.says), std::string::npos) << err;
    EXPECT_NE(err.find("at least 1"), std::string::npos) << err;
    EXPECT_EQ(out, "");
    struct stat info;
    EXPECT_NE(stat(Path("out.csv").c_str(), &info), 0) << "an output was written";
  }
}

}  // namespace
