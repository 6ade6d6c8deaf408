#pragma once
// The fixture files in tests/data (SENDRIX_TEST_DATA, set by CTest).
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace sendrix::test {

// The bytes of tests/data/`relative`; empty when the file cannot be read.
inline std::string testData(const std::string& relative) {
    std::ifstream file(std::string(std::getenv("SENDRIX_TEST_DATA")) + "/" + relative, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace sendrix::test
