#include "recording/call_statement.h"

#include <gtest/gtest.h>

#include <string>

#include "recording/solar_date.h"
#include "recording/sql_literal.h"

namespace qelto {
namespace {

TEST(CallStatement, BranchCodeExampleByteForByte) {
  const auto [line, number] = SplitQueueLine("3,123456");
  const SolarDate stamp = ToSolarDate({2021, 3, 21, 10, 0, 0});
  EXPECT_EQ(BuildCallInsertStatement(line, number, stamp, ", BranchCode", ", '12'",
                                     SqlDialect::SqlServer),
            "INSERT INTO Pos_Calls (IdNumber, LineNumber, TotalNumber, TarYY, TarMM, TarDD, Time, "
            "BranchCode) SELECT (SELECT ISNULL(MAX(IdNumber),0) FROM Pos_Calls) + 1, '3', "
            "'123456', '00', '01', '01', '10:00:00', '12' ");
}

TEST(CallStatement, NoBranchExampleNamesSevenColumnsAndEndsWithTheTime) {
  const auto [line, number] = SplitQueueLine("2,0123456");
  const SolarDate stamp = ToSolarDate({2020, 2, 29, 9, 5, 3});
  EXPECT_EQ(BuildCallInsertStatement(line, number, stamp, "", "", SqlDialect::SqlServer),
            "INSERT INTO Pos_Calls (IdNumber, LineNumber, TotalNumber, TarYY, TarMM, TarDD, Time) "
            "SELECT (SELECT ISNULL(MAX(IdNumber),0) FROM Pos_Calls) + 1, '2', '0123456', '98', "
            "'12', '10', '09:05:03' ");
}

TEST(CallStatement, StandardDialectDiffersOnlyByCoalesce) {
  const SolarDate stamp{"00", "01", "01", "10:00:00"};
  for (const char* branchValue : {"", ", 'O''B'"}) {
    const std::string branchColumn = *branchValue ? ", BranchCode" : "";
    std::string expected = BuildCallInsertStatement("3", "123456", stamp, branchColumn, branchValue,
                                                    SqlDialect::SqlServer);
    const std::string isnull = "ISNULL(MAX(IdNumber),0)";
    ASSERT_NE(expected.find(isnull), std::string::npos);
    expected.replace(expected.find(isnull), isnull.size(), "COALESCE(MAX(IdNumber),0)");
    EXPECT_EQ(BuildCallInsertStatement("3", "123456", stamp, branchColumn, branchValue,
                                       SqlDialect::Standard),
              expected);
  }
}

TEST(CallStatement, QuotesInValuesAreDoubled) {
  const SolarDate stamp{"0'", "'1", "01", "10:00:00"};
  const std::string sql = BuildCallInsertStatement("3'", "1'; DROP TABLE Pos_Calls; --", stamp, "",
                                                   "", SqlDialect::Standard);
  EXPECT_EQ(sql.substr(sql.find("+ 1, ")),
            "+ 1, '3''', '1''; DROP TABLE Pos_Calls; --', '0''', '''1', '01', '10:00:00' ");
}

TEST(CallStatement, BranchTextsAreInsertedAsGiven) {
  const SolarDate stamp{"00", "01", "01", "10:00:00"};
  const std::string sql =
      BuildCallInsertStatement("1", "2", stamp, ", BranchCode", ", 'O''B'", SqlDialect::SqlServer);
  EXPECT_NE(sql.find("Time, BranchCode) SELECT"), std::string::npos) << sql;
  EXPECT_TRUE(sql.ends_with(", '10:00:00', 'O''B' ")) << sql;
}

TEST(SqlLiteralTest, EnclosesAndDoublesSingleQuotes) {
  EXPECT_EQ(SqlLiteral(""), "''");
  EXPECT_EQ(SqlLiteral("12"), "'12'");
  EXPECT_EQ(SqlLiteral("O'B"), "'O''B'");
  EXPECT_EQ(SqlLiteral("''"), "''''''");
  EXPECT_EQ(SqlLiteral("a\"b"), "'a\"b'");
}

struct SplitCase {
  const char* queueLine;
  const char* line;
  const char* number;
};

class SplitQueueLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitQueueLineTest, SplitsAtTheFirstComma) {
  const auto [line, number] = SplitQueueLine(GetParam().queueLine);
  EXPECT_EQ(line, GetParam().line);
  EXPECT_EQ(number, GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(QueueLines, SplitQueueLineTest,
                         ::testing::Values(SplitCase{"3,123456", "3", "123456"},
                                           SplitCase{"12,0", "12", "0"}, SplitCase{"1,", "1", ""},
                                           SplitCase{",5", "", "5"}, SplitCase{"1,2,3", "1", "2,3"},
                                           SplitCase{"123", "", "123"}, SplitCase{"", "", ""}));

}  // namespace
}  // namespace qelto
