#pragma once

#include <stdexcept>
#include <string>

namespace plk::io {

// A file could not be read or written; what() is the message to show the user (UTF-8).
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace plk::io
