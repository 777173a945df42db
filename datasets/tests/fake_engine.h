// A scripted engine for the datasets' tests: it logs every statement and every
// release, answers through a handler the test sets (which may throw), and
// serves one result set as number 1.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/VoConnection.h"

namespace vo_testing {

// What every engine made by one factory shares, so that a test can look at it
// after the connection has replaced its engine.
struct EngineScript {
  // The answer to each statement other than a connect (connects answer -1).
  std::function<int(std::string_view sql)> answer = [](std::string_view) { return -1; };
  std::string last_error = "OK";
  vek::TvekRecordSet result;  // record set number 1

  int engines_made = 0;
  std::vector<std::string> statements;
  std::vector<int> released;
};

class FakeEngine final : public TVoEngine {
 public:
  explicit FakeEngine(EngineScript& script) : script_(script) {}

  int ExecuteSQL(std::string_view sql) override {
    script_.statements.emplace_back(sql);
    if (sql.rfind("connect to ", 0) == 0) return -1;
    return script_.answer(sql);
  }
  std::string GetLastError() const override { return script_.last_error; }
  vek::TvekRecordSet* GetRecordSet(int n) override { return n == 1 ? &script_.result : nullptr; }
  bool ReleaseRecordSet(int n) override {
    script_.released.push_back(n);
    return n == 1;
  }

 private:
  EngineScript& script_;
};

inline TVoEngineFactory FakeEngines(EngineScript& script) {
  return [&script] {
    ++script.engines_made;
    return std::make_unique<FakeEngine>(script);
  };
}

}  // namespace vo_testing
