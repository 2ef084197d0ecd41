// One service per test, in its own state folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "service_harness.h"

namespace veilmark::service::testing {

class ServiceTest : public ::testing::Test {
 protected:
  virtual std::vector<std::string> ServiceArgs() const { return {}; }

  void SetUp() override { Start(); }

  void Start() {
    service_ = std::make_unique<ServiceProcess>(state_.path(), ServiceArgs());
    ASSERT_TRUE(service_->ready());
  }

  // `veilmark-service --state DIR add-user ...`, which must succeed.
  void AddUser(std::vector<std::string> args) {
    args.insert(args.begin(), "add-user");
    const CommandResult result = RunService(state_.path(), args);
    ASSERT_EQ(result.exitCode, 0) << result.out;
  }

  ServiceProcess& service() { return *service_; }
  const std::string& state() const { return state_.path(); }

  TempDir state_;  // outlives the service that uses it
  std::unique_ptr<ServiceProcess> service_;
};

}  // namespace veilmark::service::testing
