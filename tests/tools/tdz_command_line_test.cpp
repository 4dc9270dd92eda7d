// The tool's option parser and its JSON strings, case by case: what the
// shell tests reach only through whole runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_line.h"
#include "json_text.h"

namespace {

int Nothing(const CommandLine&) { return 0; }

constexpr CommandSpec kPack = {"pack", "FILE...", 1, kAnyCount,
                               kOptOutput | kOptForce | kOptRecursive | kOptThreads | kOptReplace | kOptQuiet |
                                   kOptVerbose,
                               "", "", Nothing};

struct Parsed {
    ParseOutcome outcome;
    CommandLine line;
    std::string error;
};

Parsed Parse(const std::vector<std::string>& args)
{
    Parsed p;
    p.outcome = ParseCommandLine(kPack, args, &p.line, &p.error);
    return p;
}

TEST(TdzCommandLine, SpellingsOfTheSameOptions)
{
    const std::vector<std::vector<std::string>> spellings = {
        {"-fr", "-T4", "a", "-o", "out"},
        {"a", "--force", "--recursive", "--threads=4", "--output=out"},
        {"-f", "-r", "-T", "4", "-oout", "a"},
        {"-frT", "4", "--output", "out", "--", "a"},
    };
    for (const auto& args : spellings) {
        const Parsed p = Parse(args);
        ASSERT_EQ(p.outcome, ParseOutcome::Usage) << args[0];  // -o with -r
        EXPECT_NE(p.error.find("folder tree"), std::string::npos) << p.error;
    }
    const Parsed p = Parse({"-fT4", "--", "-v", "-"});
    ASSERT_EQ(p.outcome, ParseOutcome::Run) << p.error;
    EXPECT_TRUE(p.line.force);
    EXPECT_EQ(p.line.threads, 4u);
    EXPECT_FALSE(p.line.verbose);
    EXPECT_EQ(p.line.operands, (std::vector<std::string>{"-v", "-"}));
}

TEST(TdzCommandLine, ThreadCountsAndTheLastOfQuietAndVerbose)
{
    const struct {
        const char* value;
        bool ok;
    } counts[] = {{"1", true}, {"256", true}, {"0", false}, {"257", false}, {"0256", false},
                  {"-1", false}, {"2x", false}, {"", false}};
    for (const auto& c : counts)
        EXPECT_EQ(Parse({std::string("--threads=") + c.value, "a"}).outcome == ParseOutcome::Run, c.ok) << c.value;
    EXPECT_GE(Parse({"a"}).line.threads, 1u);
    EXPECT_TRUE(Parse({"-q", "-v", "a"}).line.verbose);
    EXPECT_TRUE(Parse({"-v", "-q", "a"}).line.quiet);
    EXPECT_EQ(Parse({"--bogus", "--help"}).outcome, ParseOutcome::Help);
    EXPECT_EQ(Parse({"--", "--help"}).outcome, ParseOutcome::Run);
}

TEST(TdzJsonString, EscapesWhatJsonMustAndReplacesWhatIsNotUtf8)
{
    const struct {
        std::string bytes;
        const char* json;
    } cases[] = {
        {"plain.txt", "\"plain.txt\""},
        {"q\"b\\", "\"q\\\"b\\\\\""},
        {std::string("\n\t\r\x01\x1f\x7f", 6), "\"\\n\\t\\r\\u0001\\u001f\\u007f\""},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\""},
        {"\xff", "\"\\ufffd\""},
        {"\xc0\xaf", "\"\\ufffd\\ufffd\""},          // overlong '/'
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},  // a surrogate
        {"\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},  // above U+10FFFF
        {"a\xe2\x82", "\"a\\ufffd\\ufffd\""},        // cut short
        {std::string("\0z", 2), "\"\\u0000z\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JsonString(c.bytes), c.json);
}

}  // namespace
