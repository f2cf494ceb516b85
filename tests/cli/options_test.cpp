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
    {"NegativeReal",
     {"--angular", "-0.25", "a.bos"},
     [](const Options& o) { EXPECT_DOUBLE_EQ(o.angularConst, -0.25); }},
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
    {"UnknownShortWithText", {"-Iinc", "a.bos"}, "unknown option '-I'"},
    // The preprocessor options are not there yet.
    {"IncludeNotYet", {"-I", "inc", "a.bos"}, "unknown option '-I'"},
    {"IncludeLongNotYet", {"--include", "inc", "a.bos"}, "unknown option '--include'"},
    {"PreprocessNotYet", {"-E", "a.bos"}, "unknown option '-E'"},
    {"DefinesNotYet", {"--defines-ignore-case", "a.bos"}, "unknown option '--defines-ignore-case'"},
    {"NoAbbreviations", {"--list", "a.bos"}, "unknown option '--list'"},
    {"UnknownWithValue", {"--colour=red", "a.bos"}, "unknown option '--colour'"},
    {"MissingValueAtEnd", {"a.bos", "-o"}, "option '-o' needs a value"},
    {"MissingValueLong", {"a.bos", "--tab-width"}, "option '--tab-width' needs a value"},
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
