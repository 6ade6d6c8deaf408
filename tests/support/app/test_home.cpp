#include "support/app/test_home.h"

#include <stdlib.h>

namespace sendrix::test {

TestHome::TestHome() {
    if (const char* home = ::getenv("SENDRIX_HOME")) {
        m_hadHome = true;
        m_previousHome = home;
    }
    ::setenv("SENDRIX_HOME", folder().c_str(), 1);
}

TestHome::~TestHome() {
    if (m_hadHome)
        ::setenv("SENDRIX_HOME", m_previousHome.c_str(), 1);
    else
        ::unsetenv("SENDRIX_HOME");
}

}  // namespace sendrix::test
