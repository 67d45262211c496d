#pragma once

#include <string>
#include <vector>

namespace qelto {

// The names of the ODBC drivers installed on this PC (UTF-8), as the ODBC driver manager lists
// them, else as the registry of ODBC drivers (HKLM\SOFTWARE\ODBC\ODBCINST.INI\ODBC Drivers) names
// them. Empty when neither can be read.
std::vector<std::string> InstalledOdbcDrivers();

}  // namespace qelto
