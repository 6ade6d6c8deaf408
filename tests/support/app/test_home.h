#pragma once
// A fresh program folder for one test: a temporary folder that SENDRIX_HOME
// points at while the object lives, removed afterwards.
#include <string>

#include "support/temp_folder.h"

namespace sendrix::test {

class TestHome : public TempFolder {
public:
    TestHome();
    ~TestHome();

private:
    std::string m_previousHome;
    bool m_hadHome = false;
};

}  // namespace sendrix::test
