#include "tests/support/learn_db_fixture.h"

namespace kov::test {

C_LearnSetup::C_LearnSetup(std::string_view tailoBytes, bool startThread)
    : m_sys(tailoBytes.empty() ? C_TailoFixture{}.bytes() : std::string(tailoBytes)),
      m_startThread(startThread) {
    reopen();
}

C_LearnSetup::~C_LearnSetup() {
    close();
}

void C_LearnSetup::close() {
    m_learn.reset();
    m_user.reset();
}

void C_LearnSetup::reopen() {
    close();
    m_user = std::make_unique<C_RefusingUserDB>(userFile(), *m_sys.m_db);
    m_learn = std::make_unique<C_TestLearnDB>(learnFile(), *m_user, m_sys.m_policy, m_startThread);
}

}  // namespace kov::test
