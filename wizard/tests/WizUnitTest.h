// The fixture of the tests that link the wizard's internals: the wizard
// tests' fixture with a set of the wizard's services of the test's own,
// made fresh for each test and freed before the fixture's clean-up.
#pragma once

#include "wizard/common/WizUtil.h"
#include "wizard/tests/WizTestSupport.h"

namespace vexa::wiz::testing {

class WizUnitTest : public WizTest {
 protected:
  void TearDown() override {
    m_wiz.Reset();
    WizTest::TearDown();
  }
  WizServices& Wiz() { return m_wiz; }

  WizServices m_wiz;
};

}  // namespace vexa::wiz::testing
