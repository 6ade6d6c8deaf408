#pragma once
// The fixture files in tests/data (SENDRIX_TEST_DATA, set by CTest).
#include <string>

namespace sendrix::test {

// The bytes of tests/data/`relative`; empty when the file cannot be read.
std::string testData(const std::string& relative);

}  // namespace sendrix::test
