// TBosCompiler as its owners use it: messages, the file on disk, the dump
// event, cancelling through the progress display, and failed writes.
#include "compiler/bos_compiler.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "compiler/cob_file.h"
#include "compiler/compile_text.h"
#include "driver/compile_source.h"
#include "driver/compile_thread.h"
#include "driver/standard_tokens.h"
#include "preprocessor/scanner.h"
#include "tests/support/files.h"

namespace marlo::core {
namespace {

namespace fs = std::filesystem;

class CollectedMessages : public IMessageList {
 public:
  void Add(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

using ScratchDir = marlo::test::ScratchDir;

using marlo::test::ReadFile;

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct Fixture {
  explicit Fixture(std::string text) : source(std::move(text)) {
    compiler.SetPreProcesser(&source);
    compiler.SetMessageListBox(&messages);
  }
  // Compiles into `dir`, the .cob named after `name`.
  void CompileInto(const fs::path& dir, const std::string& name) {
    compiler.SetOutputPath(dir.string());
    compiler.SetOutputFilename(name);
    compiler.Compile();
  }
  TSourceText source;
  CollectedMessages messages;
  TBosCompiler compiler;
};

TEST(BosCompiler, SuccessfulCompileWritesTheFileAndDumpsIt) {
  ScratchDir dir;
  Fixture f("piece  base ;\ncreate ()\n{\nhide  base ;\n}\n");
  f.compiler.SetOutputPath(dir.path().string());
  f.compiler.SetOutputFilename("units/Tank.BOS");
  f.compiler.SetSourceFile("units/tank.bos");
  std::string dumped;
  std::streampos dumpStart = -1;
  f.compiler.SetOnDumpFile([&](std::istream& strm) {
    dumpStart = strm.tellg();
    dumped.assign(std::istreambuf_iterator<char>(strm), std::istreambuf_iterator<char>());
  });

  f.compiler.Compile();

  const fs::path written = dir.path() / "Tank.cob";
  EXPECT_EQ(f.messages.lines,
            (std::vector<std::string>{"Compiling file 'units/tank.bos'", "Compile completed successfully"}));
  EXPECT_FALSE(f.compiler.CompileAborted());
  EXPECT_EQ(fs::path(f.compiler.OutputFilename()), written);  // Windows joins with "/": compared as paths
  ASSERT_TRUE(fs::exists(written));
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"Tank.cob"}) << "no temporary file is left behind";
  EXPECT_EQ(dumpStart, std::streampos(0));
  EXPECT_EQ(dumped, ReadFile(written));
  const std::vector<std::uint8_t> cob = BuildCob(CompileText(f.source.Source(), CompileOptions{}).image);
  EXPECT_EQ(ReadFile(written), std::string(cob.begin(), cob.end()));
}

TEST(BosCompiler, ErrorReportsPositionAndWritesNothing) {
  ScratchDir dir;
  Fixture f("create ()\n{\nhide  turret ;\n}\n");
  f.compiler.SetOutputPath(dir.path().string());
  f.compiler.SetOutputFilename("tank.bos");
  f.compiler.SetSourceFile("tank.bos");
  bool dumped = false;
  f.compiler.SetOnDumpFile([&](std::istream&) { dumped = true; });

  f.compiler.Compile();

  EXPECT_EQ(f.messages.lines,
            (std::vector<std::string>{
                "Compiling file 'tank.bos'",
                "[2: 12] Unexpected keyword or identifier 'turret' while searching for piece or variable"}));
  EXPECT_TRUE(f.compiler.CompileAborted());
  EXPECT_TRUE(f.compiler.AbortedCompile());
  EXPECT_EQ(f.compiler.Row(), 2);
  EXPECT_EQ(f.compiler.Col(), 12);
  EXPECT_FALSE(dumped);
  EXPECT_TRUE(FilesIn(dir.path()).empty());

  // The next compile clears the flag; Abort between compiles does nothing.
  f.source.SetSource("create ()\n{\n}\n");
  f.compiler.Abort();
  f.compiler.Compile();
  EXPECT_FALSE(f.compiler.CompileAborted());
  EXPECT_TRUE(fs::exists(dir.path() / "tank.cob"));
}

TEST(BosCompiler, WithoutPreprocessorNothingHappens) {
  CollectedMessages messages;
  TBosCompiler compiler;
  compiler.SetMessageListBox(&messages);
  compiler.Compile();
  EXPECT_TRUE(messages.lines.empty());
  EXPECT_FALSE(compiler.CompileAborted());
}

// A progress display that records what it is told and at its `cancelAt`th
// round of events cancels the compile, as the source window's Cancel does.
class Progress : public IProgressBar {
 public:
  Progress(TBosCompiler& compiler, int cancelAt) : compiler_(compiler), cancelAt_(cancelAt) {}
  void SetMax(std::int64_t value) override { max = value; }
  void SetPosition(std::int64_t value) override {
    wentBack = wentBack || value < position;
    position = value;
  }
  void ProcessEvents() override {
    if (++calls == cancelAt_) compiler_.Abort();
  }
  std::int64_t max = 0;
  std::int64_t position = 0;
  int calls = 0;
  bool wentBack = false;

 private:
  TBosCompiler& compiler_;
  int cancelAt_;
};

TEST(BosCompiler, ProgressMovesForwardAndItsHookCanCancel) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "s" + std::to_string(i) + " ()\n{\nsleep 100;\n}\n";
  for (const int cancelAt : {0, 3}) {
    SCOPED_TRACE(cancelAt);
    ScratchDir dir;
    Fixture f(text);
    Progress progress(f.compiler, cancelAt);
    f.compiler.SetProgessBar(&progress);
    f.CompileInto(dir.path(), "big.bos");
    ASSERT_EQ(f.messages.lines.size(), 2u);
    EXPECT_EQ(f.compiler.CompileAborted(), cancelAt != 0) << f.messages.lines[1];
    EXPECT_EQ(progress.max, static_cast<std::int64_t>(text.size()));
    EXPECT_GT(progress.position, 0);
    EXPECT_FALSE(progress.wentBack);
    if (cancelAt) {
      EXPECT_NE(f.messages.lines[1].find("] Compile Aborted"), std::string::npos) << f.messages.lines[1];
      EXPECT_TRUE(FilesIn(dir.path()).empty());
    } else {  // not called per character
      EXPECT_GT(progress.calls, 0);
      EXPECT_LT(progress.calls, static_cast<int>(text.size() / 100));
    }
  }
}

// The .cob replaces a file of its name (a plain rename on Windows would
// not) but not a folder; a missing output folder is reported.
TEST(BosCompiler, WritingTheFile) {
  ScratchDir dir;
  Fixture f("create ()\n{\n}\n");
  dir.Write("old/tank.cob", "old");
  f.CompileInto(dir / "old", "tank.bos");
  EXPECT_FALSE(f.compiler.CompileAborted());
  EXPECT_EQ(FilesIn(dir / "old"), std::vector<std::string>{"tank.cob"});
  EXPECT_EQ(ReadFile(dir / "old" / "tank.cob").at(0), 4) << "the version word, not the old text";

  fs::create_directories(dir / "taken" / "tank.cob" / "inside");
  f.messages.lines.clear();
  f.CompileInto(dir / "taken", "tank.bos");
  ASSERT_EQ(f.messages.lines.size(), 2u);
  EXPECT_EQ(f.messages.lines[1].rfind("[3: 0] Cannot create file", 0), 0u) << f.messages.lines[1];
  EXPECT_TRUE(f.compiler.CompileAborted());
  EXPECT_EQ(FilesIn(dir / "taken"), std::vector<std::string>{"tank.cob"});
  EXPECT_TRUE(fs::is_directory(dir / "taken" / "tank.cob"));

  f.messages.lines.clear();
  f.CompileInto(dir / "missing", "tank.bos");
  ASSERT_EQ(f.messages.lines.size(), 2u);
  EXPECT_NE(f.messages.lines[1].find("No such file or directory"), std::string::npos) << f.messages.lines[1];
  EXPECT_TRUE(f.compiler.CompileAborted());
}

TEST(BosCompiler, EmptyOutputPathMeansTheCurrentDirectory) {
  ScratchDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  Fixture f("create ()\n{\n}\n");
  f.compiler.SetOutputFilename("/some/where/else/unit.bos");
  f.compiler.Compile();
  fs::current_path(previous);
  EXPECT_FALSE(f.compiler.CompileAborted());
  EXPECT_TRUE(fs::exists(dir.path() / "unit.cob"));
}

TEST(BosCompiler, ConversionWarningsReachTheHookAndTheCompileGoesOn) {
  ScratchDir dir;
  Fixture f("create (x)\n{\nx = - ;\nx = [.];\n}\n");
  std::vector<std::string> warnings;
  f.compiler.SetOnWarning([&](const CompileWarning& warning) { warnings.push_back(warning.text); });
  f.CompileInto(dir.path(), "w.bos");
  EXPECT_FALSE(f.compiler.CompileAborted()) << f.messages.lines.back();
  EXPECT_EQ(warnings,
            (std::vector<std::string>{"ProcessFactor | Number excepted", "ProcessFactor | LinearValue excepted"}));
}

// ---- the compile road ------------------------------------------------------

// Whatever the compiler was linked to, the road compiles what its own
// preprocessor made, and says true only when the .cob was written.
TEST(CompileRoad, CompilesItsOwnPreprocessorsText) {
  ScratchDir dir;
  for (bool linkedElsewhere : {false, true}) {
    TSourceText other("create ()\n{\n}\n");
    TPreProcessor preprocessor;
    preprocessor.SetTokens(StandardTokenList());
    CollectedMessages messages;
    TBosCompiler compiler;
    compiler.SetMessageListBox(&messages);
    if (linkedElsewhere) compiler.SetPreProcesser(&other);
    compiler.SetOutputPath(dir.path().string());
    compiler.SetOutputFilename("road.bos");
    fs::remove(dir.path() / "road.cob");
    PreprocessSettings settings;
    settings.secondCore = linkedElsewhere;
    EXPECT_TRUE(PreprocessAndCompile(preprocessor, compiler, "piece a;\nKilled ()\n{\n}\n", "road.bos", settings));
    ASSERT_TRUE(fs::exists(dir.path() / "road.cob")) << linkedElsewhere;
    EXPECT_NE(ReadFile(dir.path() / "road.cob").find("Killed"), std::string::npos) << linkedElsewhere;
  }
}

// A progress display that fails at the second pass, on the thread that
// walks the text while another one compiles it, with something that is no
// std::exception (the preprocessor keeps those as its error).
struct InjectedFailure {};
class FailingSecondPass : public IProgressBar {
 public:
  void SetMax(std::int64_t) override {
    if (++passes_ == 2) throw InjectedFailure{};
  }
  void SetPosition(std::int64_t) override {}
  void ProcessEvents() override {}

 private:
  int passes_ = 0;
};

TEST(CompileRoad, AFailureWhileTheOtherThreadCompilesReachesTheCaller) {
  ScratchDir dir;
  TPreProcessor preprocessor;
  preprocessor.SetTokens(StandardTokenList());
  FailingSecondPass progress;
  preprocessor.SetProgressBar(&progress);
  TBosCompiler compiler;
  compiler.SetOutputPath(dir.path().string());
  compiler.SetOutputFilename("fail.bos");
  PreprocessSettings settings;
  settings.secondCore = true;
  EXPECT_THROW(PreprocessAndCompile(preprocessor, compiler, "create ()\n{\n}\n", "fail.bos", settings),
               InjectedFailure);
  EXPECT_FALSE(fs::exists(dir.path() / "fail.cob"));
}

TEST(CompileThread, WhatTheBodyThrowsIsThrownByJoin) {
  CompileThread thread([] { throw std::runtime_error("from the thread"); });
  EXPECT_THROW(thread.Join(), std::runtime_error);
  EXPECT_NO_THROW(thread.Join());  // once
  // Not joined by hand: the destructor joins and drops the failure.
  CompileThread dropped([] { throw std::logic_error("dropped"); });
}

}  // namespace
}  // namespace marlo::core
