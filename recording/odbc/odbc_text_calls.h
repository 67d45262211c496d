#pragma once

// The ODBC headers, and the ODBC calls that carry text, in the form that keeps every character
// on each platform. The recorder's texts are UTF-8. unixODBC passes the narrow calls' bytes
// through to drivers told to read UTF-8; Windows' driver manager would convert narrow texts
// through the ANSI code page and lose the Persian letters it lacks, so there the wide calls carry
// UTF-16.

#if defined(_WIN32)
#include <windows.h>  // the types sql.h is written in
#endif
#include <sql.h>
#include <sqlext.h>

#include <string>

namespace qelto::odbc {

// SQLDriverConnect without a window and without prompting.
SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& connectionString);
// SQLExecDirect of one statement text.
SQLRETURN ExecDirect(SQLHSTMT stmt, const std::string& statement);
// SQLGetDiagRec's message of diagnostic record `record` (from 1) into `message`, whole however
// long it is, its SQLSTATE into `sqlState` and the driver's own error number into `nativeError`.
// The result is that of SQLGetDiagRec: SQL_NO_DATA past the last record.
SQLRETURN DiagnosticText(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                         std::string& message, std::string& sqlState, SQLINTEGER& nativeError);
// The whole value of column `column` (from 1) of the current row as text, by as many SQLGetData
// calls as it takes; `null` tells a NULL. The result is that of the first failing call, else
// SQL_SUCCESS.
SQLRETURN GetText(SQLHSTMT stmt, SQLUSMALLINT column, std::string& value, bool& null);

}  // namespace qelto::odbc
