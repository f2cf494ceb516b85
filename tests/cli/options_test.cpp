#include "cli/options.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace marlo::cli {
namespace {

TEST(Options, Defaults) {
  const ParseResult result = ParseArguments({"a.bos"});
  ASSERT_TRUE(result.ok) << result.error;
  const Options& o = result.options;
  EXPECT_EQ(o.outputDir, ".");
  EXPECT_DOUBLE_EQ(o.angularConst, 182.04444444);
  EXPECT_DOUBLE_EQ(o.linearConst, 163840.0);
  EXPECT_EQ(o.recurseDepth, 200);
  EXPECT_FALSE(o.listing || o.disasm || o.includeGiven || o.preprocessOnly || o.definesIgnoreCase || o.extended ||
               o.dependencyFile || o.phonyHeaders || o.help || o.version);
  EXPECT_EQ(o.jobs, 1);
  EXPECT_EQ(o.tabWidth, 4);
  EXPECT_EQ(o.includeDirs, "");
  EXPECT_EQ(o.dependencyPath, "");
  EXPECT_EQ(o.files, std::vector<std::string>{"a.bos"});
  EXPECT_EQ(result.error, "");
}

// The options that differ from the defaults as "name=value", then the files
// in brackets; or "error: " and the error.
std::string Parsed(const std::vector<std::string>& args) {
  const ParseResult result = ParseArguments(args);
  if (!result.ok) return "error: " + result.error;
  const Options& o = result.options;
  const Options d;
  std::ostringstream out;
  out.precision(17);
  const auto put = [&out](const char* name, const auto& value, const auto& byDefault) {
    if (value != byDefault) out << name << '=' << value << ' ';
  };
  put("outputDir", o.outputDir, d.outputDir);
  put("angular", o.angularConst, d.angularConst);
  put("linear", o.linearConst, d.linearConst);
  put("recurse", o.recurseDepth, d.recurseDepth);
  put("listing", o.listing, d.listing);
  put("disasm", o.disasm, d.disasm);
  put("jobs", o.jobs, d.jobs);
  put("tabWidth", o.tabWidth, d.tabWidth);
  put("includeDirs", o.includeDirs, d.includeDirs);
  put("includeGiven", o.includeGiven, d.includeGiven);
  put("preprocessOnly", o.preprocessOnly, d.preprocessOnly);
  put("definesIgnoreCase", o.definesIgnoreCase, d.definesIgnoreCase);
  put("extended", o.extended, d.extended);
  put("dependencyFile", o.dependencyFile, d.dependencyFile);
  put("dependencyPath", o.dependencyPath, d.dependencyPath);
  put("phonyHeaders", o.phonyHeaders, d.phonyHeaders);
  put("help", o.help, d.help);
  put("version", o.version, d.version);
  for (const std::string& file : o.files) out << '[' << file << "] ";
  std::string text = out.str();
  if (!text.empty()) text.pop_back();
  return text;
}

struct ArgumentsCase {
  const char* name;
  std::vector<std::string> args;
  std::string parsed;
};

class Arguments : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(Arguments, Parse) { EXPECT_EQ(Parsed(GetParam().args), GetParam().parsed); }

const ArgumentsCase kArguments[] = {
    {"FilesKeepTheirOrderAroundOptions",
     {"b.bos", "--listing", "a.bos", "-j", "3", "c.bos"},
     "listing=1 jobs=3 [b.bos] [a.bos] [c.bos]"},
    {"OutputDirShortSeparate", {"-o", "out", "a.bos"}, "outputDir=out [a.bos]"},
    {"OutputDirShortAttached", {"-oout/x", "a.bos"}, "outputDir=out/x [a.bos]"},
    {"OutputDirLongSeparate", {"--output-dir", "o d", "a.bos"}, "outputDir=o d [a.bos]"},
    {"OutputDirLongEquals", {"--output-dir=dir=x", "a.bos"}, "outputDir=dir=x [a.bos]"},
    {"OutputDirMayLookLikeAnOption", {"-o", "-x", "a.bos"}, "outputDir=-x [a.bos]"},
    {"LastValueWins",
     {"-o", "one", "--output-dir", "two", "--recurse", "5", "--recurse=7", "a.bos"},
     "outputDir=two recurse=7 [a.bos]"},
    {"Constants",
     {"--angular", "65536", "--linear=1.5e3", "--recurse", "-3", "a.bos"},
     "angular=65536 linear=1500 recurse=-3 [a.bos]"},
    {"SmallScale", {"--angular", "0.25", "a.bos"}, "angular=0.25 [a.bos]"},
    {"JobsAttached", {"-j4", "a.bos"}, "jobs=4 [a.bos]"},
    {"JobsLong", {"--jobs=2", "a.bos"}, "jobs=2 [a.bos]"},
    {"TabWidthNegative", {"--tab-width", "-1", "a.bos"}, "tabWidth=-1 [a.bos]"},
    {"TabWidthAtMaximum", {"--tab-width", "64", "a.bos"}, "tabWidth=64 [a.bos]"},
    {"ListingAndDisasm", {"--disasm", "--listing", "a.bos"}, "listing=1 disasm=1 [a.bos]"},
    {"HelpNeedsNoFiles", {"--help"}, "help=1"},
    {"VersionNeedsNoFiles", {"--version"}, "version=1"},
    {"DoubleDashEndsOptions", {"--", "--listing", "-j", "-"}, "[--listing] [-j] [-]"},
    {"LoneDashIsAFile", {"-"}, "[-]"},
    // Include directories: the search uses each entry as a plain prefix, so
    // every non-empty entry must end in a separator.
    {"IncludeShortSeparate", {"-I", "inc", "a.bos"}, "includeDirs=inc/ includeGiven=1 [a.bos]"},
    {"IncludeShortAttached", {"-Iinc", "a.bos"}, "includeDirs=inc/ includeGiven=1 [a.bos]"},
    {"IncludeLongSeparate", {"--include", "inc", "a.bos"}, "includeDirs=inc/ includeGiven=1 [a.bos]"},
    {"IncludeLongEquals", {"--include=inc", "a.bos"}, "includeDirs=inc/ includeGiven=1 [a.bos]"},
    {"IncludeSlashKept", {"-I", "inc/", "a.bos"}, "includeDirs=inc/ includeGiven=1 [a.bos]"},
    {"IncludeBackslashKept", {"-I", "c:\\bos\\", "a.bos"}, "includeDirs=c:\\bos\\ includeGiven=1 [a.bos]"},
    {"IncludeRootKept", {"-I", "/", "a.bos"}, "includeDirs=/ includeGiven=1 [a.bos]"},
    {"IncludeListEachEntry", {"-I", "a;b/;c\\;d e", "a.bos"}, "includeDirs=a/;b/;c\\;d e/ includeGiven=1 [a.bos]"},
    {"IncludeRepeatedAppendsInOrder",
     {"-I", "one", "x.bos", "--include=two;three/", "-Ifour"},
     "includeDirs=one/;two/;three/;four/ includeGiven=1 [x.bos]"},
    {"IncludeEmptyEntriesStayEmpty", {"-I", "a;;b;", "a.bos"}, "includeDirs=a/;;b/; includeGiven=1 [a.bos]"},
    {"IncludeLeadingEmptyEntryKept", {"-I", ";a", "a.bos"}, "includeDirs=;a/ includeGiven=1 [a.bos]"},
    {"IncludeOnlyEmpty", {"--include=", "a.bos"}, "includeGiven=1 [a.bos]"},
    {"IncludeEmptyThenDir", {"-I", "", "-I", "inc", "a.bos"}, "includeDirs=;inc/ includeGiven=1 [a.bos]"},
    {"IncludeDirThenEmpty", {"-I", "inc", "-I", "", "a.bos"}, "includeDirs=inc/; includeGiven=1 [a.bos]"},
    {"IncludeValueMayLookLikeAnOption", {"-I", "-E", "a.bos"}, "includeDirs=-E/ includeGiven=1 [a.bos]"},
    {"PreprocessShort", {"-E", "a.bos"}, "preprocessOnly=1 [a.bos]"},
    {"PreprocessLong", {"a.bos", "--preprocess"}, "preprocessOnly=1 [a.bos]"},
    {"DependencyFiles", {"-MD", "-MP", "a.bos", "b.bos"}, "dependencyFile=1 phonyHeaders=1 [a.bos] [b.bos]"},
    {"DependencyFileNamed", {"-MF", "deps/a.d", "a.bos"}, "dependencyFile=1 dependencyPath=deps/a.d [a.bos]"},
    {"ExtendedShortAndLong", {"-X", "a.bos", "--extended"}, "extended=1 [a.bos]"},
    {"DefinesIgnoreCase", {"--defines-ignore-case", "a.bos"}, "definesIgnoreCase=1 [a.bos]"},
    {"NoArguments", {}, "error: no input files"},
    {"OnlyOptions", {"--listing", "-j", "2"}, "error: no input files"},
    {"OnlyDoubleDash", {"--"}, "error: no input files"},
    {"UnknownLong", {"--frobnicate", "a.bos"}, "error: unknown option '--frobnicate'"},
    {"UnknownShort", {"-x", "a.bos"}, "error: unknown option '-x'"},
    {"UnknownShortWithText", {"-Zinc", "a.bos"}, "error: unknown option '-Z'"},
    {"ShortOptionsAreCaseSensitive", {"-i", "inc", "a.bos"}, "error: unknown option '-i'"},
    {"PreprocessNoBundling",
     {"-Ej2", "a.bos"},
     "error: option '-E' takes no value, got '-Ej2' (flags cannot be combined)"},
    {"PreprocessTakesNoValue", {"--preprocess=yes", "a.bos"}, "error: option '--preprocess' takes no value"},
    {"NoAbbreviations", {"--list", "a.bos"}, "error: unknown option '--list'"},
    {"UnknownWithValue", {"--colour=red", "a.bos"}, "error: unknown option '--colour'"},
    {"MissingValueAtEnd", {"a.bos", "-o"}, "error: option '-o' needs a value"},
    {"MissingValueLong", {"a.bos", "--tab-width"}, "error: option '--tab-width' needs a value"},
    {"NonNumericJobs", {"-j", "many", "a.bos"}, "error: option '-j' needs a whole number, got 'many'"},
    {"JobsZero", {"--jobs", "0", "a.bos"}, "error: option '--jobs' needs at least 1, got '0'"},
    {"JobsNegative", {"-j", "-2", "a.bos"}, "error: option '-j' needs at least 1, got '-2'"},
    {"FractionalRecurse", {"--recurse", "1.5", "a.bos"}, "error: option '--recurse' needs a whole number, got '1.5'"},
    {"TrailingJunk", {"--tab-width", "4x", "a.bos"}, "error: option '--tab-width' needs a whole number, got '4x'"},
    {"EmptyNumber", {"--recurse=", "a.bos"}, "error: option '--recurse' needs a whole number, got ''"},
    {"IntegerOverflow",
     {"--recurse", "99999999999", "a.bos"},
     "error: option '--recurse' needs a whole number, got '99999999999'"},
    {"NonNumericReal", {"--angular", "pi", "a.bos"}, "error: option '--angular' needs a number, got 'pi'"},
    {"DependencyFileForTwoInputs",
     {"-MF", "d", "a.bos", "b.bos"},
     "error: option '-MF' names the dependency file of one input file, got 2"},
    {"DependencyFlagTakesNoValue", {"-MDx", "a.bos"}, "error: unknown option '-M'"},
    {"NegativeScale",
     {"--angular", "-0.25", "a.bos"},
     "error: option '--angular' needs a scale above 0 and at most 1e9, got '-0.25'"},
    {"ZeroScale",
     {"--linear", "0", "a.bos"},
     "error: option '--linear' needs a scale above 0 and at most 1e9, got '0'"},
    {"HugeScale",
     {"--linear=1e308", "a.bos"},
     "error: option '--linear' needs a scale above 0 and at most 1e9, got '1e308'"},
    {"TabWidthAboveMaximum",
     {"--tab-width", "2000000000", "a.bos"},
     "error: option '--tab-width' allows at most 64, got '2000000000'"},
    {"RealWithJunk", {"--linear", "1.0cm", "a.bos"}, "error: option '--linear' needs a number, got '1.0cm'"},
    {"RealInfinity", {"--linear", "inf", "a.bos"}, "error: option '--linear' needs a number, got 'inf'"},
    {"RealNan", {"--angular=nan", "a.bos"}, "error: option '--angular' needs a number, got 'nan'"},
    {"FlagWithValue", {"--listing=yes", "a.bos"}, "error: option '--listing' takes no value"},
    {"FirstErrorWins", {"--bad", "-j", "x"}, "error: unknown option '--bad'"},
    {"UnknownBeforeHelp", {"--bad", "--help"}, "error: unknown option '--bad'"},
};

INSTANTIATE_TEST_SUITE_P(Options, Arguments, testing::ValuesIn(kArguments),
                         [](const testing::TestParamInfo<ArgumentsCase>& row) { return row.param.name; });

}  // namespace
}  // namespace marlo::cli
