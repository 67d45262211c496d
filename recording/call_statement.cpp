#include "recording/call_statement.h"

#include "recording/sql_literal.h"

namespace qelto {
namespace {

std::string_view NextIdExpression(SqlDialect dialect) {
  return dialect == SqlDialect::SqlServer
             ? "(SELECT ISNULL(MAX(IdNumber),0) FROM Pos_Calls) + 1, "
             : "(SELECT COALESCE(MAX(IdNumber),0) FROM Pos_Calls) + 1, ";
}

}  // namespace

std::string BuildCallInsertStatement(std::string_view line, std::string_view number,
                                     const SolarDate& stamp, std::string_view branchColumnText,
                                     std::string_view branchValueText, SqlDialect dialect) {
  std::string sql =
      "INSERT INTO Pos_Calls (IdNumber, LineNumber, TotalNumber, TarYY, TarMM, TarDD, Time";
  sql += branchColumnText;
  sql += ") SELECT ";
  sql += NextIdExpression(dialect);
  sql += SqlLiteral(line) + ", " + SqlLiteral(number) + ", " + SqlLiteral(stamp.year) + ", " +
         SqlLiteral(stamp.month) + ", " + SqlLiteral(stamp.day) + ", " + SqlLiteral(stamp.time);
  sql += branchValueText;
  sql += ' ';
  return sql;
}

std::string BuildCallLookupQuery(std::string_view line, std::string_view number,
                                 const SolarDate& stamp, std::string_view branchValueText,
                                 std::optional<std::int64_t> above) {
  std::string sql = "SELECT COUNT(*) FROM Pos_Calls WHERE ";
  if (above) sql += "IdNumber > " + std::to_string(*above) + " AND ";
  sql += "LineNumber = " + SqlLiteral(line) + " AND TotalNumber = " + SqlLiteral(number) +
         " AND TarYY = " + SqlLiteral(stamp.year) + " AND TarMM = " + SqlLiteral(stamp.month) +
         " AND TarDD = " + SqlLiteral(stamp.day) + " AND Time = " + SqlLiteral(stamp.time);
  constexpr std::string_view kValueLead = ", ";  // BranchValueText is ", '<code>'"
  if (branchValueText.substr(0, kValueLead.size()) == kValueLead) {
    sql += " AND BranchCode = ";
    sql += branchValueText.substr(kValueLead.size());
  }
  return sql;
}

std::pair<std::string, std::string> SplitQueueLine(std::string_view queueLine) {
  const std::size_t comma = queueLine.find(',');
  if (comma == std::string_view::npos) return {std::string(), std::string(queueLine)};
  return {std::string(queueLine.substr(0, comma)), std::string(queueLine.substr(comma + 1))};
}

}  // namespace qelto
