#include "support/test_data.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sendrix::test {

std::string testData(const std::string& relative) {
    const char* folder = std::getenv("SENDRIX_TEST_DATA");
    std::ifstream file(std::string(folder ? folder : "tests/data") + "/" + relative, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace sendrix::test
