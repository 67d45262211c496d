#pragma once

#include <memory>

#include "recording/database.h"
#include "recording/server_config.h"

namespace qelto {

// Makes the database connection that the settings name; it is opened later, by the writer.
class DatabaseFactory {
 public:
  virtual ~DatabaseFactory() = default;
  virtual std::unique_ptr<Database> Create(const ServerConfig& config) = 0;
};

}  // namespace qelto
