// Native-test stand-ins for the reporter: the fatal error becomes a C++
// exception carrying the text, and the bound diagnostic is recorded.
#pragma once

#include <string>

namespace qv_test {

struct FatalError {
  std::string text;
};

// The last bound diagnostic written, formatted exactly as the libraries do.
std::string& last_bound_diagnostic();

}  // namespace qv_test
