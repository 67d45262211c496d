#include "recording/server_config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelto {
namespace {

using namespace std::string_literals;

constexpr char kPath[] = "C:\\POS\\CallerID\\\\Server_Config.dll";

std::string Join(const std::vector<std::string>& lines, const std::string& br = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + br;
  return text;
}

ServerConfig Parse(const std::vector<std::string>& lines) {
  return ParseServerConfig(Join(lines), kPath);
}

TEST(ServerConfigExamples, IntegratedSecurityWithoutBranch) {
  const ServerConfig config = Parse({"any", "(local)", "Shop", "0", "recorder"});
  ASSERT_TRUE(config.ok) << config.error;
  EXPECT_EQ(config.error, "");
  EXPECT_EQ(config.path, kPath);
  EXPECT_EQ(config.connectionString,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "User ID=recorder;Initial Catalog=Shop;Data Source=(local)");
  EXPECT_EQ(config.server, "(local)");
  EXPECT_EQ(config.database, "Shop");
  EXPECT_TRUE(config.integratedSecurity);
  EXPECT_EQ(config.user, "recorder");
  EXPECT_EQ(config.password, "");
  EXPECT_EQ(config.BranchCodeText, "");
  EXPECT_EQ(config.BranchColumnText, "");
  EXPECT_EQ(config.BranchValueText, "");
}

TEST(ServerConfigExamples, LoginWithoutPasswordAndWithBranch) {
  const ServerConfig config =
      Parse({"any", ".\\SQLEXPRESS", "Shop", "1", "recorder", "", "x", "y", "z", "12"});
  ASSERT_TRUE(config.ok) << config.error;
  EXPECT_EQ(config.connectionString,
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=recorder;Initial Catalog=Shop;"
            "Data Source=.\\SQLEXPRESS");
  EXPECT_FALSE(config.integratedSecurity);
  EXPECT_EQ(config.password, "");
  EXPECT_EQ(config.BranchCodeText, "12");
  EXPECT_EQ(config.BranchColumnText, ", BranchCode");
  EXPECT_EQ(config.BranchValueText, ", '12'");
}

TEST(ServerConfigExamples, LoginWithPassword) {
  const ServerConfig config = Parse({"any", ".\\SQLEXPRESS", "Shop", "1", "recorder", "s3cret"});
  ASSERT_TRUE(config.ok) << config.error;
  EXPECT_EQ(config.connectionString,
            "Provider=SQLOLEDB.1;Password=s3cret;Persist Security Info=True;User ID=recorder;"
            "Initial Catalog=Shop;Data Source=.\\SQLEXPRESS");
  EXPECT_EQ(config.password, "s3cret");
  EXPECT_EQ(config.BranchCodeText, "");
  EXPECT_EQ(config.BranchValueText, "");
}

struct ShortFileCase {
  std::vector<std::string> lines;
  std::string error;
};

class ServerConfigShortFile : public ::testing::TestWithParam<ShortFileCase> {};

TEST_P(ServerConfigShortFile, ReportsTheFirstMissingLineThatIsNeeded) {
  const ServerConfig config = Parse(GetParam().lines);
  EXPECT_FALSE(config.ok);
  EXPECT_EQ(config.error, GetParam().error);
  EXPECT_EQ(config.connectionString, "");
}

INSTANTIATE_TEST_SUITE_P(
    FailureTable, ServerConfigShortFile,
    ::testing::Values(ShortFileCase{{}, "List index out of bounds (2)"},
                      ShortFileCase{{"any"}, "List index out of bounds (2)"},
                      ShortFileCase{{"any", "srv"}, "List index out of bounds (2)"},
                      ShortFileCase{{"any", "srv", "db"}, "List index out of bounds (3)"},
                      ShortFileCase{{"any", "srv", "db", "1"}, "List index out of bounds (5)"},
                      ShortFileCase{{"any", "srv", "db", "0"}, "List index out of bounds (4)"},
                      ShortFileCase{{"any", "srv", "db", ""}, "List index out of bounds (4)"},
                      ShortFileCase{{"any", "srv", "db", "1", "usr"},
                                    "List index out of bounds (5)"}));

TEST(ServerConfigShortFile, FiveLinesAreEnoughForIntegratedSecurity) {
  EXPECT_TRUE(Parse({"any", "srv", "db", "0", "usr"}).ok);
}

TEST(ServerConfigFile, CannotOpenMessageQuotesThePath) {
  EXPECT_EQ(CannotOpenFileMessage("/opt/qelto//Server_Config.dll", "No such file or directory"),
            "Cannot open file \"/opt/qelto//Server_Config.dll\". No such file or directory");
}

class ServerConfigSwitch : public ::testing::TestWithParam<std::string> {};

// Only exactly "1" selects the login; line 6 is then not even needed.
TEST_P(ServerConfigSwitch, AnythingButOneSelectsIntegratedSecurity) {
  const ServerConfig config = Parse({"any", "srv", "db", GetParam(), "usr"});
  ASSERT_TRUE(config.ok) << config.error;
  EXPECT_TRUE(config.integratedSecurity);
  EXPECT_EQ(config.connectionString,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "User ID=usr;Initial Catalog=db;Data Source=srv");
}

INSTANTIATE_TEST_SUITE_P(NotExactlyOne, ServerConfigSwitch,
                         ::testing::Values("1 ", " 1", "01", "true", "", "0", "I"));

TEST(ServerConfigFields, IntegratedSecurityIgnoresThePasswordLine) {
  const ServerConfig config = Parse({"any", "srv", "db", "0", "usr", "secret"});
  ASSERT_TRUE(config.ok);
  EXPECT_EQ(config.password, "");
  EXPECT_EQ(config.connectionString.find("secret"), std::string::npos);
}

TEST(ServerConfigFields, EmptyUserStillEntersTheString) {
  const ServerConfig config = Parse({"any", "srv", "db", "0", ""});
  ASSERT_TRUE(config.ok);
  EXPECT_NE(config.connectionString.find(";User ID=;Initial Catalog=db;"), std::string::npos)
      << config.connectionString;
}

TEST(ServerConfigFields, LoginWithEmptyPasswordHasNoPasswordPiece) {
  const ServerConfig config = Parse({"any", "srv", "db", "1", "usr", ""});
  ASSERT_TRUE(config.ok);
  EXPECT_EQ(config.connectionString,
            "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=usr;Initial Catalog=db;"
            "Data Source=srv");
}

// Line 10 is the branch code, taken as written, its quote doubled in the literal; nine lines or an
// empty tenth write no branch column, and lines after the tenth are ignored.
TEST(ServerConfigBranch, TheTenthLineIsTheBranchCode) {
  struct Case {
    const char* name;
    std::vector<std::string> from_sixth;  // the lines after the user's
    std::string code, column, value;
  };
  const Case cases[] = {
      {"nine lines", {"", "", "", "9th"}, "", "", ""},
      {"empty tenth line", {"", "", "", "", "", "11th"}, "", "", ""},
      {"lines after the tenth", {"", "", "", "", "7", "8"}, "7", ", BranchCode", ", '7'"},
      {"quote", {"", "", "", "", "O'B"}, "O'B", ", BranchCode", ", 'O''B'"},
      {"spaces", {"", "", "", "", " 12 "}, " 12 ", ", BranchCode", ", ' 12 '"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> lines = {"any", "srv", "db", "0", "usr"};
    lines.insert(lines.end(), c.from_sixth.begin(), c.from_sixth.end());
    const ServerConfig config = Parse(lines);
    ASSERT_TRUE(config.ok) << config.error;
    EXPECT_EQ(config.BranchCodeText, c.code);
    EXPECT_EQ(config.BranchColumnText, c.column);
    EXPECT_EQ(config.BranchValueText, c.value);
  }
}

const std::vector<std::string> kLoginFile = {
    "any", ".\\SQLEXPRESS", "Shop", "1", "recorder", "pw", "", "", "", "12"};

class ServerConfigLineBreaks : public ::testing::TestWithParam<std::string> {};

TEST_P(ServerConfigLineBreaks, ReadsTheSameAsCrLf) {
  const ServerConfig expected = ParseServerConfig(Join(kLoginFile), kPath);
  const ServerConfig config = ParseServerConfig(Join(kLoginFile, GetParam()), kPath);
  ASSERT_TRUE(config.ok) << config.error;
  EXPECT_EQ(config.connectionString, expected.connectionString);
  EXPECT_EQ(config.BranchValueText, expected.BranchValueText);
}

INSTANTIATE_TEST_SUITE_P(LoneBreaks, ServerConfigLineBreaks, ::testing::Values("\n", "\r"));

TEST(ServerConfigLineBreaks, NoBreakAfterTheLastLine) {
  const ServerConfig config = ParseServerConfig("any\nsrv\ndb\n0\nusr", kPath);
  ASSERT_TRUE(config.ok) << config.error;
  EXPECT_EQ(config.user, "usr");
}

TEST(ServerConfigLineBreaks, NulEndsTheFile) {
  const std::string text = "any\r\nsrv\r\ndb\r\n0\0\r\nusr\r\n"s;
  const ServerConfig config = ParseServerConfig(text, kPath);
  EXPECT_FALSE(config.ok);
  EXPECT_EQ(config.error, "List index out of bounds (4)");
}

TEST(ServerConfigLineBreaks, NulInsideALineCutsIt) {
  const std::string text = "any\nsrv\ndb\n0\nus\0r\nmore\n"s;
  const ServerConfig config = ParseServerConfig(text, kPath);
  ASSERT_TRUE(config.ok);
  EXPECT_EQ(config.user, "us");
}

struct QuotedValueCase {
  std::string password;
  std::string passwordPiece;
};

class ServerConfigPassword : public ::testing::TestWithParam<QuotedValueCase> {};

// A password can no longer end its pair early or add pairs of its own.
TEST_P(ServerConfigPassword, IsQuotedWhenItHoldsReservedCharacters) {
  const ServerConfig config = Parse({"any", "srv", "db", "1", "usr", GetParam().password});
  ASSERT_TRUE(config.ok);
  EXPECT_EQ(config.password, GetParam().password);
  EXPECT_EQ(config.connectionString, "Provider=SQLOLEDB.1;Password=" + GetParam().passwordPiece +
                                         ";Persist Security Info=True;User ID=usr;"
                                         "Initial Catalog=db;Data Source=srv");
}

INSTANTIATE_TEST_SUITE_P(
    Reserved, ServerConfigPassword,
    ::testing::Values(QuotedValueCase{"a;Data Source=evil", "\"a;Data Source=evil\""},
                      QuotedValueCase{"pa\"ss", "'pa\"ss'"},
                      QuotedValueCase{"it's\"", "\"it's\"\"\""},
                      QuotedValueCase{"  lead", "\"  lead\""},
                      QuotedValueCase{"trail ", "\"trail \""}, QuotedValueCase{"p=w", "p=w"}));

TEST(ServerConfigFields, EveryConnectionValueIsQuotedWhenNeeded) {
  const ServerConfig config = Parse({"any", " srv", "d;b", "0", "O'B"});
  ASSERT_TRUE(config.ok);
  EXPECT_EQ(config.server, " srv");
  EXPECT_EQ(config.connectionString,
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
            "User ID=\"O'B\";Initial Catalog=\"d;b\";Data Source=\" srv\"");
}

}  // namespace
}  // namespace qelto
