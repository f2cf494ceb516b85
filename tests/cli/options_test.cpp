#include "cli/options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace marlo::cli {
namespace {

struct AcceptCase {
  const char* name;
  std::vector<std::string> args;
  std::function<void(const Options&)> check;
};

class AcceptedArguments : public testing::TestWithParam<AcceptCase> {};

TEST_P(AcceptedArguments, Parse) {
  const AcceptCase& c = GetParam();
  ParseResult result = ParseArguments(c.args);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.error, "");
  c.check(result.options);
}

const AcceptCase kAccepted[] = {
    {"Defaults",
     {"a.bos"},
     [](const Options& o) {
       EXPECT_EQ(o.outputDir, ".");
       EXPECT_DOUBLE_EQ(o.angularConst, 182.04444444);
       EXPECT_DOUBLE_EQ(o.linearConst, 163840.0);
       EXPECT_EQ(o.recurseDepth, 200);
       EXPECT_FALSE(o.listing);
       EXPECT_FALSE(o.disasm);
       EXPECT_EQ(o.jobs, 1);
       EXPECT_EQ(o.tabWidth, 4);
       EXPECT_EQ(o.includeDirs, "");
       EXPECT_FALSE(o.preprocessOnly);
       EXPECT_FALSE(o.definesIgnoreCase);
       EXPECT_FALSE(o.extended);
       EXPECT_FALSE(o.help);
       EXPECT_FALSE(o.version);
       EXPECT_EQ(o.files, (std::vector<std::string>{"a.bos"}));
     }},
    {"FilesKeepTheirOrderAroundOptions",
     {"b.bos", "--listing", "a.bos", "-j", "3", "c.bos"},
     [](const Options& o) {
       EXPECT_EQ(o.files, (std::vector<std::string>{"b.bos", "a.bos", "c.bos"}));
       EXPECT_TRUE(o.listing);
       EXPECT_EQ(o.jobs, 3);
     }},
    {"OutputDirShortSeparate", {"-o", "out", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.outputDir, "out"); }},
    {"OutputDirShortAttached", {"-oout/x", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.outputDir, "out/x"); }},
    {"OutputDirLongSeparate",
     {"--output-dir", "o d", "a.bos"},
     [](const Options& o) { EXPECT_EQ(o.outputDir, "o d"); }},
    {"OutputDirLongEquals", {"--output-dir=dir=x", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.outputDir, "dir=x"); }},
    {"OutputDirMayLookLikeAnOption", {"-o", "-x", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.outputDir, "-x"); }},
    {"LastValueWins",
     {"-o", "one", "--output-dir", "two", "--recurse", "5", "--recurse=7", "a.bos"},
     [](const Options& o) {
       EXPECT_EQ(o.outputDir, "two");
       EXPECT_EQ(o.recurseDepth, 7);
     }},
    {"Constants",
     {"--angular", "65536", "--linear=1.5e3", "--recurse", "-3", "a.bos"},
     [](const Options& o) {
       EXPECT_DOUBLE_EQ(o.angularConst, 65536.0);
       EXPECT_DOUBLE_EQ(o.linearConst, 1500.0);
       EXPECT_EQ(o.recurseDepth, -3);
     }},
    {"SmallScale", {"--angular", "0.25", "a.bos"}, [](const Options& o) { EXPECT_DOUBLE_EQ(o.angularConst, 0.25); }},
    {"JobsAttached", {"-j4", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.jobs, 4); }},
    {"JobsLong", {"--jobs=2", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.jobs, 2); }},
    {"TabWidthNegative", {"--tab-width", "-1", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.tabWidth, -1); }},
    {"ListingAndDisasm",
     {"--disasm", "--listing", "a.bos"},
     [](const Options& o) {
       EXPECT_TRUE(o.listing);
       EXPECT_TRUE(o.disasm);
     }},
    {"HelpNeedsNoFiles",
     {"--help"},
     [](const Options& o) {
       EXPECT_TRUE(o.help);
       EXPECT_TRUE(o.files.empty());
     }},
    {"VersionNeedsNoFiles", {"--version"}, [](const Options& o) { EXPECT_TRUE(o.version); }},
    {"DoubleDashEndsOptions",
     {"--", "--listing", "-j", "-"},
     [](const Options& o) {
       EXPECT_FALSE(o.listing);
       EXPECT_EQ(o.jobs, 1);
       EXPECT_EQ(o.files, (std::vector<std::string>{"--listing", "-j", "-"}));
     }},
    {"LoneDashIsAFile", {"-"}, [](const Options& o) { EXPECT_EQ(o.files, (std::vector<std::string>{"-"})); }},
    // Include directories: the search uses each entry as a plain prefix, so
    // every non-empty entry must end in a separator.
    {"IncludeShortSeparate", {"-I", "inc", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, "inc/"); }},
    {"IncludeShortAttached", {"-Iinc", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, "inc/"); }},
    {"IncludeLongSeparate", {"--include", "inc", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, "inc/"); }},
    {"IncludeLongEquals", {"--include=inc", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, "inc/"); }},
    {"IncludeSlashKept", {"-I", "inc/", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, "inc/"); }},
    {"IncludeBackslashKept",
     {"-I", "c:\\bos\\", "a.bos"},
     [](const Options& o) { EXPECT_EQ(o.includeDirs, "c:\\bos\\"); }},
    {"IncludeRootKept", {"-I", "/", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, "/"); }},
    {"IncludeListEachEntry",
     {"-I", "a;b/;c\\;d e", "a.bos"},
     [](const Options& o) { EXPECT_EQ(o.includeDirs, "a/;b/;c\\;d e/"); }},
    {"IncludeRepeatedAppendsInOrder",
     {"-I", "one", "x.bos", "--include=two;three/", "-Ifour"},
     [](const Options& o) {
       EXPECT_EQ(o.includeDirs, "one/;two/;three/;four/");
       EXPECT_EQ(o.files, (std::vector<std::string>{"x.bos"}));
     }},
    {"IncludeEmptyEntriesStayEmpty",
     {"-I", "a;;b;", "a.bos"},
     [](const Options& o) { EXPECT_EQ(o.includeDirs, "a/;;b/;"); }},
    {"IncludeLeadingEmptyEntryKept", {"-I", ";a", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, ";a/"); }},
    {"IncludeOnlyEmpty", {"--include=", "a.bos"}, [](const Options& o) { EXPECT_EQ(o.includeDirs, ""); }},
    {"IncludeEmptyThenDir",
     {"-I", "", "-I", "inc", "a.bos"},
     [](const Options& o) { EXPECT_EQ(o.includeDirs, ";inc/"); }},
    {"IncludeDirThenEmpty",
     {"-I", "inc", "-I", "", "a.bos"},
     [](const Options& o) { EXPECT_EQ(o.includeDirs, "inc/;"); }},
    {"IncludeValueMayLookLikeAnOption",
     {"-I", "-E", "a.bos"},
     [](const Options& o) {
       EXPECT_EQ(o.includeDirs, "-E/");
       EXPECT_FALSE(o.preprocessOnly);
     }},
    {"PreprocessShort",
     {"-E", "a.bos"},
     [](const Options& o) {
       EXPECT_TRUE(o.preprocessOnly);
       EXPECT_FALSE(o.definesIgnoreCase);
     }},
    {"PreprocessLong", {"a.bos", "--preprocess"}, [](const Options& o) { EXPECT_TRUE(o.preprocessOnly); }},
    {"DependencyFiles",
     {"-MD", "-MP", "a.bos", "b.bos"},
     [](const Options& o) {
       EXPECT_TRUE(o.dependencyFile);
       EXPECT_TRUE(o.phonyHeaders);
       EXPECT_EQ(o.dependencyPath, "");
     }},
    {"DependencyFileNamed",
     {"-MF", "deps/a.d", "a.bos"},
     [](const Options& o) {
       EXPECT_TRUE(o.dependencyFile);
       EXPECT_EQ(o.dependencyPath, "deps/a.d");
       EXPECT_FALSE(o.phonyHeaders);
     }},
    {"ExtendedShortAndLong",
     {"-X", "a.bos", "--extended"},
     [](const Options& o) {
       EXPECT_TRUE(o.extended);
       EXPECT_FALSE(o.preprocessOnly);
     }},
    {"DefinesIgnoreCase",
     {"--defines-ignore-case", "a.bos"},
     [](const Options& o) {
       EXPECT_TRUE(o.definesIgnoreCase);
       EXPECT_FALSE(o.preprocessOnly);
     }},
    {"AllPreprocessorOptions",
     {"-E", "--defines-ignore-case", "-I", "inc", "-j2", "a.bos", "b.bos"},
     [](const Options& o) {
       EXPECT_TRUE(o.preprocessOnly);
       EXPECT_TRUE(o.definesIgnoreCase);
       EXPECT_EQ(o.includeDirs, "inc/");
       EXPECT_EQ(o.jobs, 2);
       EXPECT_EQ(o.files, (std::vector<std::string>{"a.bos", "b.bos"}));
     }},
};

INSTANTIATE_TEST_SUITE_P(Options, AcceptedArguments, testing::ValuesIn(kAccepted),
                         [](const testing::TestParamInfo<AcceptCase>& row) { return row.param.name; });

struct RejectCase {
  const char* name;
  std::vector<std::string> args;
  std::string error;
};

class RejectedArguments : public testing::TestWithParam<RejectCase> {};

TEST_P(RejectedArguments, Parse) {
  const RejectCase& c = GetParam();
  ParseResult result = ParseArguments(c.args);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, c.error);
}

const RejectCase kRejected[] = {
    {"NoArguments", {}, "no input files"},
    {"OnlyOptions", {"--listing", "-j", "2"}, "no input files"},
    {"OnlyDoubleDash", {"--"}, "no input files"},
    {"UnknownLong", {"--frobnicate", "a.bos"}, "unknown option '--frobnicate'"},
    {"UnknownShort", {"-x", "a.bos"}, "unknown option '-x'"},
    {"UnknownShortWithText", {"-Zinc", "a.bos"}, "unknown option '-Z'"},
    {"ShortOptionsAreCaseSensitive", {"-i", "inc", "a.bos"}, "unknown option '-i'"},
    {"IncludeMissingValue", {"a.bos", "-I"}, "option '-I' needs a value"},
    {"IncludeLongMissingValue", {"a.bos", "--include"}, "option '--include' needs a value"},
    {"PreprocessNoBundling", {"-Ej2", "a.bos"}, "option '-E' takes no value, got '-Ej2' (flags cannot be combined)"},
    {"PreprocessTakesNoValue", {"--preprocess=yes", "a.bos"}, "option '--preprocess' takes no value"},
    {"DefinesIgnoreCaseTakesNoValue",
     {"--defines-ignore-case=1", "a.bos"},
     "option '--defines-ignore-case' takes no value"},
    {"DefinesNoAbbreviation", {"--defines", "a.bos"}, "unknown option '--defines'"},
    {"PreprocessNeedsFiles", {"-E", "-I", "inc"}, "no input files"},
    {"NoAbbreviations", {"--list", "a.bos"}, "unknown option '--list'"},
    {"UnknownWithValue", {"--colour=red", "a.bos"}, "unknown option '--colour'"},
    {"MissingValueAtEnd", {"a.bos", "-o"}, "option '-o' needs a value"},
    {"MissingValueLong", {"a.bos", "--tab-width"}, "option '--tab-width' needs a value"},
    {"MissingNumber", {"a.bos", "--recurse"}, "option '--recurse' needs a value"},
    {"NonNumericJobs", {"-j", "many", "a.bos"}, "option '-j' needs a whole number, got 'many'"},
    {"NonNumericJobsAttached", {"-jx", "a.bos"}, "option '-j' needs a whole number, got 'x'"},
    {"JobsZero", {"--jobs", "0", "a.bos"}, "option '--jobs' needs at least 1, got '0'"},
    {"JobsNegative", {"-j", "-2", "a.bos"}, "option '-j' needs at least 1, got '-2'"},
    {"FractionalRecurse", {"--recurse", "1.5", "a.bos"}, "option '--recurse' needs a whole number, got '1.5'"},
    {"TrailingJunk", {"--tab-width", "4x", "a.bos"}, "option '--tab-width' needs a whole number, got '4x'"},
    {"EmptyNumber", {"--recurse=", "a.bos"}, "option '--recurse' needs a whole number, got ''"},
    {"IntegerOverflow",
     {"--recurse", "99999999999", "a.bos"},
     "option '--recurse' needs a whole number, got '99999999999'"},
    {"NonNumericReal", {"--angular", "pi", "a.bos"}, "option '--angular' needs a number, got 'pi'"},
    {"DependencyFileForTwoInputs",
     {"-MF", "d", "a.bos", "b.bos"},
     "option '-MF' names the dependency file of one input file, got 2"},
    {"DependencyFlagTakesNoValue", {"-MDx", "a.bos"}, "unknown option '-M'"},
    {"NegativeScale",
     {"--angular", "-0.25", "a.bos"},
     "option '--angular' needs a scale above 0 and at most 1e9, got '-0.25'"},
    {"ZeroScale", {"--linear", "0", "a.bos"}, "option '--linear' needs a scale above 0 and at most 1e9, got '0'"},
    {"HugeScale", {"--linear=1e308", "a.bos"}, "option '--linear' needs a scale above 0 and at most 1e9, got '1e308'"},
    {"TabWidthAboveMaximum",
     {"--tab-width", "2000000000", "a.bos"},
     "option '--tab-width' allows at most 64, got '2000000000'"},
    {"RealWithJunk", {"--linear", "1.0cm", "a.bos"}, "option '--linear' needs a number, got '1.0cm'"},
    {"RealInfinity", {"--linear", "inf", "a.bos"}, "option '--linear' needs a number, got 'inf'"},
    {"RealNan", {"--angular=nan", "a.bos"}, "option '--angular' needs a number, got 'nan'"},
    {"FlagWithValue", {"--listing=yes", "a.bos"}, "option '--listing' takes no value"},
    {"FirstErrorWins", {"--bad", "-j", "x"}, "unknown option '--bad'"},
    {"UnknownBeforeHelp", {"--bad", "--help"}, "unknown option '--bad'"},
};

INSTANTIATE_TEST_SUITE_P(Options, RejectedArguments, testing::ValuesIn(kRejected),
                         [](const testing::TestParamInfo<RejectCase>& row) { return row.param.name; });

}  // namespace
}  // namespace marlo::cli
