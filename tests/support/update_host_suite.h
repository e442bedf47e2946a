// A test suite whose tests share one update host: the suite starts serving it
// once (a copy of the build's content and an nginx) and every test checks
// that it works.
#pragma once

#include <gtest/gtest.h>

#include "support/update_host_fixture.h"

namespace testing_support {

template <typename Base = testing::Test>
class UpdateHostSuite : public Base {
 protected:
  static void SetUpTestSuite() { host_ = new UpdateHostFixture(); }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(host_->Error().empty()) << host_->Error(); }

  static inline UpdateHostFixture* host_ = nullptr;
};

}  // namespace testing_support
