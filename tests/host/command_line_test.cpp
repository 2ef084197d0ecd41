#include "host/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outlook/object_model.h"

namespace veilmark::hostapp {
namespace {

using Args = std::vector<std::string>;

std::string ErrorOf(const Args& args) {
  try {
    ParseCommandLine(args);
  } catch (const UsageError& error) {
    return error.what();
  }
  return "(accepted)";
}

TEST(CommandLineTest, ReadTakesOneFileAndItsOptionsInEitherForm) {
  const CommandLine line =
      ParseCommandLine({"read", "--account=Bob@Example.com", "m.eml", "--pane-out", "v.html"});
  EXPECT_EQ(line.command, Command::kRead);
  EXPECT_EQ(line.files, Args{"m.eml"});
  EXPECT_EQ(line.account, "Bob@Example.com");
  EXPECT_EQ(line.paneOut, "v.html");
  EXPECT_FALSE(line.trace);
}

TEST(CommandLineTest, SelectTakesFilesInOrderAndDashDashEndsOptions) {
  const CommandLine line =
      ParseCommandLine({"select", "a.eml", "--trace", "b.eml", "--", "-c.eml"});
  EXPECT_EQ(line.command, Command::kSelect);
  EXPECT_EQ(line.files, (Args{"a.eml", "b.eml", "-c.eml"}));
  EXPECT_TRUE(line.trace);
}

TEST(CommandLineTest, SendKeepsRecipientsInOrderWithTheirKinds) {
  const CommandLine line = ParseCommandLine({"send",
                                             "--account",
                                             "alice@example.com",
                                             "--to",
                                             "bob@example.com",
                                             "--list",
                                             "Team",
                                             "--cc",
                                             "carol@example.com",
                                             "--bcc",
                                             "dora@example.com",
                                             "--to",
                                             "erin@example.com",
                                             "--subject",
                                             "Hi there",
                                             "--html-text",
                                             "<p>x</p>",
                                             "--attach",
                                             "a.pdf",
                                             "--attach",
                                             "b.png"});
  EXPECT_EQ(line.command, Command::kSend);
  ASSERT_EQ(line.recipients.size(), 5u);
  const std::int32_t types[] = {outlook::kRecipientTo, outlook::kRecipientTo, outlook::kRecipientCc,
                                outlook::kRecipientBcc, outlook::kRecipientTo};
  const char* addresses[] = {"bob@example.com", "Team", "carol@example.com", "dora@example.com",
                             "erin@example.com"};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(line.recipients[i].type, types[i]) << i;
    EXPECT_EQ(line.recipients[i].address, addresses[i]) << i;
    EXPECT_EQ(line.recipients[i].list, i == 1) << i;
  }
  EXPECT_EQ(line.subject, "Hi there");
  EXPECT_EQ(line.htmlText, std::optional<std::string>("<p>x</p>"));
  EXPECT_FALSE(line.htmlFile);
  EXPECT_EQ(line.attachments, (Args{"a.pdf", "b.png"}));
}

TEST(CommandLineTest, SendLeavesSubjectAndRecipientsForTheAddInToJudge) {
  const CommandLine line =
      ParseCommandLine({"send", "--account", "a@example.com", "--subject=", "--html", "b.html"});
  EXPECT_TRUE(line.recipients.empty());
  EXPECT_EQ(line.subject, "");
  EXPECT_EQ(line.htmlFile, std::optional<std::string>("b.html"));
}

TEST(CommandLineTest, HelpInAnyPlace) {
  EXPECT_EQ(ParseCommandLine({"--help"}).command, Command::kHelp);
  EXPECT_EQ(ParseCommandLine({"-h"}).command, Command::kHelp);
  EXPECT_EQ(ParseCommandLine({"read", "--help"}).command, Command::kHelp);
}

TEST(CommandLineTest, EveryCommandTakesAnEventsFile) {
  EXPECT_EQ(ParseCommandLine({"read", "m.eml", "--events", "ev"}).events, "ev");
  EXPECT_EQ(ParseCommandLine({"select", "m.eml", "--events=ev"}).events, "ev");
  EXPECT_EQ(ParseCommandLine({"send", "--account", "a@x", "--events", "ev"}).events, "ev");
  EXPECT_EQ(ParseCommandLine({"read", "m.eml"}).events, "");
}

TEST(CommandLineTest, BadArgumentsSayWhatIsWrong) {
  struct Case {
    Args args;
    std::string says;
  };
  const Case cases[] = {
      {{}, "no command"},
      {{"open", "m.eml"}, "unknown command \"open\""},
      {{"read"}, "exactly one"},
      {{"read", "a.eml", "b.eml"}, "exactly one"},
      {{"select"}, "at least one"},
      {{"read", "m.eml", "--bogus"}, "unknown option --bogus"},
      {{"read", "m.eml", "--account"}, "--account needs a value"},
      {{"read", "m.eml", "--account="}, "--account needs a non-empty value"},
      {{"read", "m.eml", "--account", "a@x", "--account", "b@x"}, "--account given more than once"},
      {{"read", "m.eml", "--trace=yes"}, "--trace takes no value"},
      {{"read", "m.eml", "--to", "b@x"}, "--to is not an option of read"},
      {{"select", "m.eml", "--subject", "s"}, "--subject is not an option of select"},
      {{"send", "--account", "a@x", "--pane-out", "p.html"}, "--pane-out is not an option of send"},
      {{"send", "--to", "b@x"}, "send needs --account"},
      {{"send", "--account", "a@x", "m.eml"}, "send takes no file arguments"},
      {{"send", "--account", "a@x", "--to", ""}, "--to needs a non-empty value"},
      {{"send", "--account", "a@x", "--attach="}, "--attach needs a non-empty value"},
      {{"send", "--account", "a@x", "--html", "b.html", "--html-text", "t"}, "not both"},
      {{"send", "--account", "a@x", "--subject", "a", "--subject", "b"}, "given more than once"},
      {{"read", "m.eml", "--events", "a", "--events", "b"}, "--events given more than once"},
      {{"select", "m.eml", "--events="}, "--events needs a non-empty value"},
  };
  for (const Case& c : cases) {
    const std::string error = ErrorOf(c.args);
    EXPECT_NE(error.find(c.says), std::string::npos)
        << "args #" << (&c - cases) << ": \"" << error << "\" lacks \"" << c.says << "\"";
  }
}

}  // namespace
}  // namespace veilmark::hostapp
