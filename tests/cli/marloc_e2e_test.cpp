// Runs the real marloc where a case of tests/data/marloc/ cannot: parallel
// runs, closed streams, signals, a thread limit and folder permissions.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;
using marlo::test::ReadFile;

const std::string kTank = "piece base, turret;\r\ncreate ()\r\n{\r\n    hide base;\r\n    show turret;\r\n}\r\n";

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class Marloc : public testing::Test {
 protected:
  fs::path work() const { return root_ / "work"; }

  void Write(const std::string& name, const std::string& bytes) { marlo::test::WriteFile(work() / name, bytes); }

  // Runs a bash script in the work folder, with $MARLOC set; its output goes
  // to files beside the folder.
  Outcome Bash(const std::string& script) {
    fs::create_directories(work());
    const std::string line = "cd " + ShellQuote(work().string()) + " && export MARLOC=" + ShellQuote(MARLOC_PATH) +
                             " && bash -c " + ShellQuote(script) + " >" + ShellQuote((root_ / "out.txt").string()) +
                             " 2>" + ShellQuote((root_ / "err.txt").string()) + " </dev/null";
    const int raw = std::system(line.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(root_ / "out.txt"), ReadFile(root_ / "err.txt")};
  }

  // `count` scripts f000.bos ... whose code is `lines` statements long.
  void WriteUnits(int count, int lines) {
    std::string body = "piece base;\r\ncreate (x)\r\n{\r\n";
    for (int i = 0; i < lines; ++i) body += "    x = x + " + std::to_string(i) + ";\r\n";
    body += "}\r\n";
    for (int i = 0; i < count; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "f%03d.bos", i);
      Write(name, body);
    }
  }

  // Every .cob in the work folder, and whether each begins as a .cob does.
  int ValidCobs() {
    int valid = 0;
    for (const auto& entry : fs::directory_iterator(work())) {
      if (entry.path().extension() != ".cob") continue;
      const std::string bytes = ReadFile(entry.path());
      EXPECT_TRUE(bytes.size() > 44 && bytes.compare(0, 4, std::string("\4\0\0\0", 4)) == 0) << entry.path();
      ++valid;
    }
    return valid;
  }

  // Names in the work folder that no compile should leave behind.
  std::vector<std::string> Debris() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work())) {
      const std::string name = entry.path().filename().string();
      if (name.find(".tmp") != std::string::npos) names.push_back(name);
    }
    return names;
  }

  marlo::test::ScratchDir root_{"marloc_e2e"};
};

// About twenty files of every outcome, some sharing headers, of very
// different sizes so that they finish out of order: however many jobs run at
// once, marloc prints what one job prints, file by file, and writes the same
// .cob files.
TEST_F(Marloc, ParallelOutputEqualsSerial) {
  Write("shared/common.h",
        "#ifndef COMMON_H\r\n#define COMMON_H\r\n#define SIG_MOVE 2\r\npiece base, turret;\r\n#endif\r\n");
  Write("shared/broken.h", "#define B 1\r\n#if UNDEFINED_NAME = 1\r\n#endif\r\n");
  const std::string body = "create ()\r\n{\r\n    signal SIG_MOVE;\r\n    hide base;\r\n}\r\n";
  const std::string common = "#include \"common.h\"\r\n";
  const std::string sources[] = {
      common + body,                                  // compiles
      common + body + body,                           // compile error
      common + "#include \"gone.h\"\r\n" + body,      // header not found
      common + "#include \"broken.h\"\r\n" + body,    // error inside a shared header
      "#define SIG_MOVE 4\r\npiece base;\r\n" + body  // compiles without headers
  };
  // common.h ends in an #endif on a line of its own, which adds an LF: a
  // failure after it is reported at the start of an empty row 2.
  const std::string results[] = {"Compile completed successfully", "[7: 6] Script function create already exists",
                                 "(2): Include file 'gone.h' not found",
                                 "[2: 0] shared/broken.h(2): Unknown Identifier UNDEFINED_NAME",
                                 "Compile completed successfully"};
  std::string files, expected;
  for (int i = 0; i < 20; ++i) {
    const std::string name = "unit" + std::to_string(i) + ".bos";
    Write(name, sources[i % 5] + std::string(static_cast<std::size_t>((i * 7919) % 20) * 3000, '\n'));
    files += " " + name;
    expected += "Compiling file '" + name + "'\n" + (i % 5 == 2 ? "[2: 0] " + name : "") + results[i % 5] + "\n";
  }
  const auto run = [&](const std::string& options) { return Bash("\"$MARLOC\" -I shared " + options + files); };

  fs::create_directories(work() / "serial");
  fs::create_directories(work() / "parallel");
  Outcome serial = run("-j 1 -o serial");
  Outcome parallel = run("-j 2 -o parallel");
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(serial.out, expected);
  // Standard error holds only the failures, where in the files they lie.
  std::istringstream located(serial.err);
  for (std::string line; std::getline(located, line);)
    EXPECT_TRUE(std::regex_match(line, std::regex(R"([^:]+:\d+:1: error: .+)"))) << line;
  EXPECT_EQ(parallel.status, 1);
  EXPECT_EQ(parallel.out, serial.out);
  EXPECT_EQ(parallel.err, serial.err);
  for (int i = 0; i < 20; ++i) {
    const std::string cob = "unit" + std::to_string(i) + ".cob";
    const bool ok = i % 5 == 0 || i % 5 == 4;
    EXPECT_EQ(fs::exists(work() / "serial" / cob), ok) << cob;
    EXPECT_EQ(fs::exists(work() / "parallel" / cob), ok) << cob;
    if (ok) {
      EXPECT_EQ(ReadFile(work() / "parallel" / cob), ReadFile(work() / "serial" / cob)) << cob;
    }
  }

  serial = run("-E -j 1");
  parallel = run("-E --jobs=2");
  EXPECT_EQ(serial.status, 1);
  EXPECT_EQ(parallel.status, 1);
  EXPECT_EQ(parallel.out, serial.out);
  EXPECT_EQ(parallel.err, serial.err);
  // Eight files failed to preprocess, each with one line on standard error.
  EXPECT_EQ(std::count(serial.err.begin(), serial.err.end(), '\n'), 8) << serial.err;

  // With listings, warnings and a file that cannot be read too, and more
  // jobs than files.
  Write("warn.bos", "create ()\r\n{\r\nsleep  . ;\r\nsleep  - ;\r\n}\r\n");
  files += " missing.bos warn.bos";
  serial = run("--listing -j 1");
  EXPECT_EQ(serial.status, 1);
  EXPECT_NE(serial.err.find("warn.bos:3:8: warning: ProcessFactor | Number excepted\n"
                            "warn.bos:4:8: warning: ProcessFactor | Number excepted\n"),
            std::string::npos)
      << serial.err;
  for (const char* jobs : {"3", "64"}) {
    parallel = run(std::string("--listing --jobs ") + jobs);
    EXPECT_EQ(parallel.status, 1) << "-j " << jobs;
    EXPECT_EQ(parallel.out, serial.out) << "-j " << jobs;
    EXPECT_EQ(parallel.err, serial.err) << "-j " << jobs;
  }
}

TEST_F(Marloc, ClosedStandardStreamsTakeNoFile) {
  WriteUnits(120, 20);
  Write("tank.bos", kTank);
  // With descriptor 1 closed, a .cob opened at the wrong moment would take it
  // and receive the message lines.
  Outcome run = Bash("\"$MARLOC\" -j 8 f*.bos >&- 2>&-; echo $?");
  EXPECT_EQ(run.out, "0\n");
  EXPECT_EQ(ValidCobs(), 120);
  // Printing to the closed output is no failure of its own.
  EXPECT_EQ(Bash("\"$MARLOC\" -E tank.bos >&-; echo $?").out, "0\n");
}

TEST_F(Marloc, AClosedPipeIsAFailureNotADeath) {
  // Listings far beyond what a pipe holds, so that marloc still writes when
  // head has gone, whatever the timing.
  WriteUnits(40, 200);
  Outcome run = Bash("\"$MARLOC\" --listing f*.bos | head -n 1 >/dev/null; echo ${PIPESTATUS[0]}");
  EXPECT_EQ(run.out, "1\n") << run.err;
  EXPECT_NE(run.err.find("cannot write to standard output"), std::string::npos) << run.err;
  EXPECT_EQ(ValidCobs(), 40);
}

TEST_F(Marloc, AStopSignalLeavesNoTemporaryFile) {
  // Enough work to be stopped in the middle: one large unit under 160 names.
  WriteUnits(1, 40000);
  for (int i = 1; i < 160; ++i) fs::create_symlink("f000.bos", work() / ("g" + std::to_string(i) + ".bos"));
  // The process is held (SIGSTOP) while a temporary file exists, then sent
  // the signal. Background jobs of a script start with SIGINT ignored; env
  // gives it back. The script prints the exit status and whether it caught
  // a temporary file.
  const std::string script = R"(
    shopt -s nullglob dotglob
    rm -f *.cob
    env --default-signal=INT "$MARLOC" -j 4 *.bos >/dev/null & pid=$!
    caught=0
    for ((try = 0; try < 100000 && !caught; ++try)); do
      t=(*tmp*)
      if ((${#t[@]})); then
        kill -STOP $pid; t=(*tmp*)
        if ((${#t[@]})); then caught=1; else kill -CONT $pid; fi
      fi
    done
    kill -$SIGNAL $pid; kill -CONT $pid; wait $pid; echo "$? $caught")";
  for (const char* signal : {"TERM", "INT"}) {
    Outcome run = Bash(std::string("SIGNAL=") + signal + "\n" + script);
    EXPECT_EQ(run.out, std::string(signal[0] == 'T' ? "143" : "130") + " 1\n") << signal;
    EXPECT_EQ(Debris(), std::vector<std::string>()) << signal;
  }
}

TEST_F(Marloc, ThreadsThatCannotBeMadeAreDoneWithout) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer needs more address space than the limit leaves";
#endif
  WriteUnits(80, 5);
  // Address space for a handful of compile threads, not for 64.
  Outcome run = Bash("ulimit -v 600000; \"$MARLOC\" -j 64 f*.bos");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 160);
  EXPECT_EQ(ValidCobs(), 80);
}

// Run as an unprivileged user in CI (root may write anywhere).
TEST_F(Marloc, AnOutputFolderNobodyMayWriteIsAUsageError) {
  if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not hold for root";
  Write("tank.bos", kTank);
  Outcome run = Bash("mkdir -m 555 locked && \"$MARLOC\" -o locked tank.bos");
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.err.starts_with("marloc: output folder 'locked' is not writable\n")) << run.err;
  EXPECT_EQ(run.out, "");
}

}  // namespace
