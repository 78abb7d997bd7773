// The command's argument parser on its own: what a command line sets, and
// the usage error or help it gives instead, for the faults a command line
// can hold (a value missing, an unknown option, an option given twice, a
// value where only a separate one is taken, --help where a value is due).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CArgumentParser.h"

namespace chatsieve::tools {
namespace {

const char kHelp[] = "usage: chatsieve demo\n";

// What a command line set, in one string to compare.
struct Parsed {
    std::string root = "-";
    std::string output = "-";
    std::string level = "-";
    std::string range = "-";
    bool verbose = false;
    std::vector<std::string> positionals;

    std::string Describe() const {
        std::string out = "root=" + root + " output=" + output + " level=" + level + " range=" + range +
                          (verbose ? " verbose" : "") + " [";
        for (std::size_t i = 0; i < positionals.size(); ++i) out += (i ? "|" : "") + positionals[i];
        return out + "]";
    }
};

enum class Help { kAnywhere, kOnlyAsOption };

struct Outcome {
    bool go = false;
    int status = -1;
    std::string out;
    std::string err;
    Parsed parsed;
};

// A command of the usual shape: a flag, an option taking --name=VALUE too,
// one with a short name, one whose value is checked, one with two values,
// and positionals of which "bad" is refused.
Outcome Parse(const std::vector<std::string>& args, Help help = Help::kAnywhere, const std::string& unknown = "") {
    Outcome outcome;
    Parsed& p = outcome.parsed;
    CArgumentParser parser("demo", kHelp);
    if (help == Help::kOnlyAsOption) parser.HelpOnlyAsOption();
    if (!unknown.empty()) parser.UnknownOption(unknown);
    parser.Flag({"--verbose"}, &p.verbose)
        .Option({"--root"}, "--root needs a folder", &p.root, CArgumentParser::Value::kNextOrJoined)
        .Option({"-o", "--output"}, "-o needs a value", &p.output, CArgumentParser::Value::kNextOrJoined)
        .Option({"--level"}, "--level needs a number",
                [&p](const std::string& value) {
                    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
                        return std::string("--level needs a number");
                    p.level = value;
                    return std::string();
                })
        .Pair("--range", "--range needs START END",
              [&p](const std::string& start, const std::string& end) {
                  p.range = start + ".." + end;
                  return std::string();
              })
        .Positional([&p](const std::string& arg) {
            if (arg == "bad") return std::string("'bad' is no input");
            p.positionals.push_back(arg);
            return std::string();
        });
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    outcome.go = parser.Parse(args, &outcome.status);
    outcome.out = testing::internal::GetCapturedStdout();
    outcome.err = testing::internal::GetCapturedStderr();
    return outcome;
}

std::string UsageText(const std::string& message) {
    return "chatsieve demo: " + message + "\n(see 'chatsieve demo --help')\n";
}

struct Accepted {
    std::vector<std::string> args;
    std::string parsed;
};

TEST(CArgumentParser, AcceptsOptionsAnywhereAndKeepsTheLastOfARepeatedOne) {
    const std::vector<Accepted> cases = {
        {{}, "root=- output=- level=- range=- []"},
        {{"a", "-o", "x", "--verbose", "b"}, "root=- output=x level=- range=- verbose [a|b]"},
        {{"--root", "r1", "--root=r2", "--root", "r3"}, "root=r3 output=- level=- range=- []"},
        {{"--level", "4", "--level", "7"}, "root=- output=- level=7 range=- []"},
        {{"--verbose", "--verbose"}, "root=- output=- level=- range=- verbose []"},
        {{"--output=o.res", "--root="}, "root= output=o.res level=- range=- []"},
        // A value is taken as it stands, even when it looks like an option.
        {{"--root", "--verbose", "-o", "-"}, "root=--verbose output=- level=- range=- []"},
        {{"--root", "a=b"}, "root=a=b output=- level=- range=- []"},
        {{"--range", "3", "9", "x"}, "root=- output=- level=- range=3..9 [x]"},
        // '-' is standard input, and an empty argument is a positional too.
        {{"-", "", "x"}, "root=- output=- level=- range=- [-||x]"},
    };
    for (const Accepted& c : cases) {
        const Outcome outcome = Parse(c.args);
        EXPECT_TRUE(outcome.go) << c.parsed << "\n" << outcome.err;
        EXPECT_EQ(outcome.status, kExitOk) << c.parsed;
        EXPECT_EQ(outcome.parsed.Describe(), c.parsed);
        EXPECT_EQ(outcome.out + outcome.err, "") << c.parsed;
    }
}

struct Refused {
    std::vector<std::string> args;
    std::string message;
};

TEST(CArgumentParser, NamesTheFirstFaultAsAUsageError) {
    const std::vector<Refused> cases = {
        {{"--root"}, "--root needs a folder"},
        {{"a", "-o"}, "-o needs a value"},
        {{"--output"}, "-o needs a value"},
        {{"--range", "3"}, "--range needs START END"},
        {{"--range"}, "--range needs START END"},
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        // --name=VALUE only where the option takes it, and only for a long name.
        {{"-o=x"}, "unknown option '-o=x'"},
        {{"--level=3"}, "unknown option '--level=3'"},
        {{"--verbose=1"}, "unknown option '--verbose=1'"},
        {{"--rootx"}, "unknown option '--rootx'"},
        {{"--level", "abc"}, "--level needs a number"},
        {{"--level="}, "unknown option '--level='"},
        {{"a", "bad"}, "'bad' is no input"},
        // The first fault is the one named, wherever the others stand.
        {{"--bogus", "--level", "x"}, "unknown option '--bogus'"},
        {{"--level", "x", "--bogus"}, "--level needs a number"},
        {{"bad", "--root"}, "'bad' is no input"},
    };
    for (const Refused& c : cases) {
        const Outcome outcome = Parse(c.args);
        EXPECT_FALSE(outcome.go) << c.message;
        EXPECT_EQ(outcome.status, kExitUsage) << c.message;
        EXPECT_EQ(outcome.err, UsageText(c.message));
        EXPECT_EQ(outcome.out, "") << c.message;
    }
}

TEST(CArgumentParser, GivesACommandsOwnMessageForAnUnknownOption) {
    const Outcome outcome = Parse({"--bogus"}, Help::kAnywhere, "no options but --root");
    EXPECT_EQ(outcome.status, kExitUsage);
    EXPECT_EQ(outcome.err, UsageText("no options but --root"));
}

struct HelpCase {
    std::vector<std::string> args;
    Help help;
    bool helped;
    std::string errOrParsed;  // the usage error, or what was set
};

TEST(CArgumentParser, GivesTheHelpWhereTheCommandTakesIt) {
    const std::vector<HelpCase> cases = {
        {{"--help"}, Help::kAnywhere, true, ""},
        {{"a", "-h"}, Help::kAnywhere, true, ""},
        // Anywhere means before any fault, and even where a value is due.
        {{"--bogus", "--help"}, Help::kAnywhere, true, ""},
        {{"--root", "--help"}, Help::kAnywhere, true, ""},
        {{"--help"}, Help::kOnlyAsOption, true, ""},
        {{"a", "-h", "--bogus"}, Help::kOnlyAsOption, true, ""},
        {{"--bogus", "--help"}, Help::kOnlyAsOption, false, UsageText("unknown option '--bogus'")},
        {{"--root", "--help"}, Help::kOnlyAsOption, false, "root=--help output=- level=- range=- []"},
        {{"--range", "-h", "--help"}, Help::kOnlyAsOption, false, "root=- output=- level=- range=-h..--help []"},
    };
    for (const HelpCase& c : cases) {
        const Outcome outcome = Parse(c.args, c.help);
        const std::string name = c.args.back() + (c.help == Help::kAnywhere ? " anywhere" : " as option");
        if (c.helped) {
            EXPECT_FALSE(outcome.go) << name;
            EXPECT_EQ(outcome.status, kExitOk) << name;
            EXPECT_EQ(outcome.out, kHelp) << name;
            EXPECT_EQ(outcome.err, "") << name;
        } else if (outcome.go) {
            EXPECT_EQ(outcome.parsed.Describe(), c.errOrParsed) << name;
            EXPECT_EQ(outcome.out, "") << name;
        } else {
            EXPECT_EQ(outcome.status, kExitUsage) << name;
            EXPECT_EQ(outcome.err, c.errOrParsed) << name;
        }
    }
}

}  // namespace
}  // namespace chatsieve::tools
