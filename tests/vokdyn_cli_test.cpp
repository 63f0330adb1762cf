// The vokdyn executable: refusals, the summary and the CSV, outputs that are not files, signals.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <thread>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelText.h"
#include "VOKDYNTestTowers.h"
#include "VOKTempDirTest.h"

extern char** environ;

namespace {

using vokdyn_test::Edited;
using vokdyn_test::ReadText;

class VokdynCli : public VOKTempDirTest {
 protected:
  vokdyn_test::VokdynRun Run(const std::string& iArguments, const std::string& iEnvironment = "") const {
    return vokdyn_test::RunIn(_Dir, VOKDYN_EXE, iArguments, iEnvironment);
  }
  void Write(const std::string& iName, const std::string& iText) const { std::ofstream(Path(iName), std::ios::binary) << iText; }
  // The names in the directory but the runner's stdout and stderr, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    if (DIR* dir = opendir(_Dir.c_str())) {
      while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (name != "." && name != ".." && name != "stdout" && name != "stderr") names.push_back(name);
      }
      closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The summary without its time line, which differs from run to run.
  static std::string WithoutTime(const std::string& iSummary) {
    std::istringstream in(iSummary);
    std::string line, out;
    while (std::getline(in, line))
      if (line.rfind("  time ", 0) != 0) out += line + "\n";
    return out;
  }
};

TEST_F(VokdynCli, EveryRefusalExitsWithItsStatusAndMessageAndWritesNothing) {
  vokdyn::WriteModelFiles(vokdyn::DefaultModel(), Path("model.json"), "shapes.npy", "");  // shapes in a .npy file
  Write("bad.json", "{\"format\": \"vokdyn-model/1\" \"name\": 1}");
  const std::string stale = Edited(vokdyn::WriteModelText(vokdyn::DefaultModel(), ""), "\"up_to_date\": true", "\"up_to_date\": false");
  Write("stale.json", stale);
  Write("diagonal.json", Edited(vokdyn::WriteModelText(vokdyn::DefaultModel(), ""), "\"damping_diagonal\": true", "\"damping_diagonal\": false"));
  const std::string threads = " (the number of sweep threads: a whole number of at least 1)";
  struct Row { std::string arguments; int status; std::string err; };  // err: all of it, or '~' and a part
  const std::vector<Row> rows = {
      {"harmonic bad.json", 2, "vokdyn: bad.json: line 1, column 29: malformed JSON: expected ',' or '}' after an object member\n"},
      {"check bad.json", 2, "vokdyn: bad.json: line 1, column 29: malformed JSON: expected ',' or '}' after an object member\n"},
      {"harmonic absent.json", 2, "vokdyn: absent.json: cannot be read\n"},
      {"harmonic diagonal.json", 2, "vokdyn: diagonal.json: modal_base.damping_diagonal: the damping tools compute damping only for a "
                                    "base whose damping matrix is diagonal in the modal base\n"},
      {"", 2, "~A subcommand is required"},
      {"frobnicate", 2, "vokdyn: unknown command \"frobnicate\" (commands: harmonic, random, transient, check, example, import)\n"},
      {"random model.json", 2, "vokdyn: model.json: the model has no \"random\" section (input spectra; see the README)\n"},
      {"random", 2, "~MODEL is required"},
      {"transient model.json", 2, "vokdyn: model.json: the model has no \"transient\" section (time histories; see the README)\n"},
      {"harmonc", 2, "vokdyn: unknown command \"harmonc\" (did you mean \"harmonic\"?)\n"},
      {"harmonic --colour", 2, "~--colour"},
      {"harmonic a.json b.json", 2, "~b.json"},
      {"harmonic --plot out.pdf", 2, "vokdyn: --plot out.pdf: the file name must end in .svg or .png\n"},
      {"harmonic -o no/such/dir/out.csv", 2, "vokdyn: --output no/such/dir/out.csv: the directory no/such/dir does not exist or cannot be written\n"},
      {"harmonic model.json -o model.json", 2, "vokdyn: --output model.json: is the input model.json, which it would overwrite\n"},
      {"harmonic model.json -o out.csv --plot shapes.npy", 2, "vokdyn: --plot shapes.npy: is the input shapes.npy, which it would overwrite\n"},
      {"harmonic --threads=0 -o out.csv", 2, "vokdyn: --threads 0: less than 1" + threads + "\n"},
      {"harmonic --threads=abc -o out.csv", 2, "vokdyn: --threads abc: not a whole number" + threads + "\n"},
      {"harmonic --threads=2.5 -o out.csv", 2, "vokdyn: --threads 2.5: not a whole number" + threads + "\n"},
      {"harmonic --threads=-3 -o out.csv", 2, "vokdyn: --threads -3: not a whole number" + threads + "\n"},
      {"harmonic --threads '' -o out.csv", 2, "vokdyn: --threads \"\": not a whole number" + threads + "\n"},
      {"harmonic --threads=99999999999 -o out.csv", 2, "vokdyn: --threads 99999999999: too large" + threads + "\n"},
      {"PATH=/nonexistent harmonic --plot out.svg -o out.csv", 2,
       "vokdyn: --plot needs gnuplot, which is not on PATH (Debian package gnuplot-nox)\n"},
      // A stale base is a warning, left out under --quiet.
      {"check stale.json -q", 0, ""},
      {"check stale.json", 0, "~vokdyn: warning: "},
  };
  const std::vector<std::string> before = Entries();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.arguments);
    const bool env = row.arguments.rfind("PATH=", 0) == 0;
    const std::size_t space = row.arguments.find(' ');
    const auto o = env ? Run(row.arguments.substr(space + 1), row.arguments.substr(0, space)) : Run(row.arguments);
    EXPECT_EQ(o.status, row.status);
    if (row.err.rfind("~", 0) == 0) {
      EXPECT_NE(o.err.find(row.err.substr(1)), std::string::npos) << o.err;
    } else {
      EXPECT_EQ(o.err, row.err);
    }
    if (row.status != 0) {
      EXPECT_EQ(o.out, "");
    }
    EXPECT_EQ(Entries(), before) << "nothing written, nothing left";
  }
  struct Help { const char* arguments; const char* says; };
  for (const Help& h : {Help{"--help", "harmonic"}, Help{"harmonic --help", "--plot"}, Help{"check --help", "MODEL"},
                        Help{"example --help", "commented model file"}, Help{"--version", "vokdyn 1.0.0"}}) {
    const auto o = Run(h.arguments);
    EXPECT_EQ(o.status, 0) << h.arguments;
    EXPECT_NE(o.out.find(h.says), std::string::npos) << h.arguments << ": " << o.out;
  }
}

TEST_F(VokdynCli, HarmonicSummarisesAndWritesTheComputedResponse) {
  const vokdyn::RunResult run = vokdyn::RunHarmonic(vokdyn::DefaultModel());
  const vokdyn::Response& r = run.response;
  const auto o = Run("harmonic --threads 1 -o out.csv --plot out.svg");
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(o.out.rfind("vokdyn harmonic: six-storey shear building on a moving base\n", 0), 0u) << o.out;
  for (const char* part : {"modes        6 (shear building modes, up to date)", "damping      modal, 2 % of critical (valid)",
                           "excitations  1 load, base motion in direction 1", "sweep        800 frequencies, 0.5 to 10 Hz, log",
                           "csv          out.csv", "plot         out.svg"})
    EXPECT_NE(o.out.find(part), std::string::npos) << part << "\n" << o.out;
  // Each output's peak |u| to 17 digits and its frequency.
  for (std::size_t k = 0; k < r.outputs.size(); ++k) {
    const vokdyn::Peak peak = vokdyn::PeakOf(r, k);
    char line[160];
    std::snprintf(line, sizeof line, "               %-10s  %-23.17g  %.9g\n", vokdyn::OutputLabel(r.outputs[k]).c_str(),
                  peak.magnitude, peak.frequency);
    EXPECT_NE(o.out.find(line), std::string::npos) << line;
  }
  // The CSV: the header, then every value to 17 digits.
  const std::string csv = ReadText(Path("out.csv"));
  EXPECT_EQ(csv, vokdyn::CsvText(r));
  EXPECT_EQ(csv.substr(0, csv.find('\n')), "frequency_hz,N6_UX_re,N6_UX_im,N6_UX_abs,N6_UX_phase_deg,N3_UX_re,N3_UX_im,N3_UX_abs,N3_UX_phase_deg");
  char first[200];
  std::snprintf(first, sizeof first, "\n%.17g,%.17g,%.17g,%.17g,%.17g,", static_cast<double>(r.frequencies[0]), r.values[0][0].real(),
                r.values[0][0].imag(), std::abs(r.values[0][0]),
                std::atan2(r.values[0][0].imag(), r.values[0][0].real()) * (180.0 / M_PI));
  EXPECT_EQ(csv.find(first), csv.find('\n'));
  EXPECT_NE(ReadText(Path("out.svg")).find("six-storey shear building on a moving base - harmonic response"), std::string::npos);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"out.csv", "out.svg"})) << "no temporary left";
  // Any thread count, and "-o -": the same CSV; the summary then on standard error.
  const auto piped = Run("harmonic -o - --threads 3 --plot out.png");
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, csv);
  EXPECT_EQ(WithoutTime(piped.err), Edited(WithoutTime(o.out), "  csv          out.csv\n  plot         out.svg", "  plot         out.png"));
  EXPECT_EQ(ReadText(Path("out.png")).substr(0, 4), "\x89PNG");
  // Every example checks (printing each mode's damping ratio) and runs.
  for (const char* name : {"two-storey-shakers.json", "tower-rocking-base.json", "beam-support-settlement.json", "tower-npy-shapes.json"}) {
    const std::string path = std::string(VOKDYN_EXAMPLES) + "/" + name;
    const auto check = Run("check '" + path + "'");
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_NE(check.out.find("  mode  frequency (Hz)   zeta (% of critical)\n  1     "), std::string::npos) << check.out;
    // Only the mapped shapes are left to the run: their values are not read.
    EXPECT_EQ(check.out.find("tower-npy-shapes.npy: header, shape and length checked; the values are checked when a run "
                             "first reads them\n") != std::string::npos,
              std::string(name) == "tower-npy-shapes.json") << check.out;
    EXPECT_EQ(Run("harmonic -q '" + path + "' -o out.csv").status, 0) << name;
  }
  // A check reads the random and transient sections as their commands do.
  const auto checked = Run("check '" + std::string(VOKDYN_EXAMPLES) + "/frame-shock.json'");
  EXPECT_NE(checked.out.find("  sections     transient (2 inputs, 1600 steps)\n"), std::string::npos) << checked.out;
  Write("bad-random.json", Edited(ReadText(std::string(VOKDYN_EXAMPLES) + "/frame-random-shakers.json"),
                                  "\"load\": \"shaker 2\"", "\"load\": \"shaker 3\""));
  const auto refused = Run("check bad-random.json");
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err.substr(0, 59), "vokdyn: bad-random.json: random.inputs[2].load: the model h");
  // The random example: the PSD and, beside it, the summary the run prints.
  const auto random = Run("random '" + std::string(VOKDYN_EXAMPLES) + "/frame-random-shakers.json' -o psd.csv --threads 2 --plot psd.svg");
  ASSERT_EQ(random.status, 0) << random.err;
  EXPECT_EQ(ReadText(Path("psd.csv")).substr(0, 35), "frequency_hz,N1_UX_psd,N2_UX_psd\n0.");
  const std::string summary = ReadText(Path("psd-summary.csv"));
  EXPECT_EQ(summary.substr(0, 37), "output,rms,three_sigma,nu0_hz\nN1_UX,0");
  EXPECT_NE(random.out.find("  summary csv  psd-summary.csv\n  plot         psd.svg\n"), std::string::npos) << random.out;
  EXPECT_NE(ReadText(Path("psd.svg")).find("random base and shakers - random response"), std::string::npos);
  // The transient example, its ground record read beside it.
  const auto shock = Run("transient '" + std::string(VOKDYN_EXAMPLES) + "/frame-shock.json' -o shock.csv --plot shock.svg");
  ASSERT_EQ(shock.status, 0) << shock.err;
  EXPECT_EQ(ReadText(Path("shock.csv")).substr(0, 31), "time_s,N1_UX,N2_UX\n0,0,0\n0.005,");
  EXPECT_NE(ReadText(Path("shock.svg")).find("ground record and a blow - transient response"), std::string::npos);
  EXPECT_EQ(ReadText(Path("shock-summary.csv")).substr(0, 49), "output,max,time_of_max_s,min,time_of_min_s\nN1_UX,");
}

TEST_F(VokdynCli, OutputsThatAreNotPlainFilesStayWhatTheyAre) {
  const std::string csv = vokdyn::CsvText(vokdyn::RunHarmonic(vokdyn::DefaultModel()).response);
  ASSERT_EQ(mkdir(Path("sub").c_str(), 0755), 0);
  Write("sub/target.csv", "old");
  ASSERT_EQ(symlink("sub/target.csv", Path("link.csv").c_str()), 0);
  ASSERT_EQ(symlink("sub/new.csv", Path("dangling.csv").c_str()), 0);
  ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
  // A link: replaced beside its target, the link kept; to a name not there yet, made.
  for (const char* link : {"link.csv", "dangling.csv"}) {
    SCOPED_TRACE(link);
    ASSERT_EQ(Run(std::string("harmonic -q -o ") + link).status, 0);
    char target[64] = {};
    ASSERT_GT(readlink(Path(link).c_str(), target, sizeof target - 1), 0) << "still a link";
    EXPECT_EQ(ReadText(Path(target)), csv);
  }
  // A FIFO's reader gets the whole CSV; /dev/stdout is standard output, whatever it leads to.
  std::string read;
  std::thread reader([&] { read = ReadText(Path("fifo")); });
  EXPECT_EQ(Run("harmonic -q -o fifo").status, 0);
  reader.join();
  EXPECT_EQ(read, csv);
  // A device: a twin of /dev/null made here (as root), so that a fault replaces only it.
  if (mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    struct stat null {};
    EXPECT_EQ(Run("harmonic -q -o null").status, 0);
    ASSERT_EQ(stat(Path("null").c_str(), &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));
    ASSERT_EQ(unlink(Path("null").c_str()), 0);
  }
  const auto out = Run("harmonic -q -o /dev/stdout");
  EXPECT_EQ(out.status, 0);
  EXPECT_EQ(out.out, csv);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"dangling.csv", "fifo", "link.csv", "sub"}));
}

TEST_F(VokdynCli, ASignalWhileTheCsvIsWrittenLeavesNothingAndEndsWith128PlusIt) {
  // A million frequencies: seconds of writing, and a time with its parts.
  vokdyn::Model model = vokdyn::DefaultModel();
  model.sweep.steps = 1000000;
  vokdyn::WriteModelFiles(model, Path("long.json"), "", "");
  const std::string out = Path("out.csv");
  for (int signal : {SIGINT, SIGTERM, SIGHUP, 0}) {
    SCOPED_TRACE(signal);
    const std::string temp_prefix = "out.csv.tmp-";
    std::string arguments[] = {VOKDYN_EXE, "harmonic", Path("long.json"), "-o", out, "--threads", "2"};
    char* argv[] = {&arguments[0][0], &arguments[1][0], &arguments[2][0], &arguments[3][0], &arguments[4][0], &arguments[5][0],
                    &arguments[6][0], nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, Path("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, VOKDYN_EXE, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    if (signal != 0) {
      // Once the temporary is there, the CSV is being written.
      const std::string temp = Path(temp_prefix + std::to_string(pid));
      struct stat info;
      for (int wait = 0; wait < 6000 && stat(temp.c_str(), &info) != 0; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      EXPECT_EQ(stat(temp.c_str(), &info), 0) << "the CSV was not being written";
      kill(pid, signal);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), signal == 0 ? 0 : 128 + signal);
    const std::vector<std::string> expected = {"long.json", "out.csv"};
    EXPECT_EQ(Entries(), std::vector<std::string>(expected.begin(), expected.begin() + (signal == 0 ? 2 : 1)));
  }
  // The time is the whole command's; past a second, with its parts.
  const std::string summary = ReadText(Path("stdout"));
  const std::size_t at = summary.find("  time         ");
  ASSERT_NE(at, std::string::npos) << summary;
  double total = 0.0, load = 0.0, sweep = 0.0, csv = 0.0;
  const int read = std::sscanf(summary.c_str() + at, "  time %lf s (load %lf s, sweep %lf s, csv %lf s)", &total, &load, &sweep, &csv);
  ASSERT_GE(read, 1) << summary.substr(at);
  // A fast machine writes the 10^6 rows in under a second: no parts then.
  ASSERT_TRUE(read == 4 ? total >= 1.0 : total <= 1.0) << summary.substr(at);
  if (read == 4) {
    EXPECT_GE(total, load + sweep + csv - 0.002);
    EXPECT_GT(csv, 0.0);
  }
}

}  // namespace
