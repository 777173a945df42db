// The ExternalSources page: SQL connectors to external servers, their tables
// with the column list, and the data preview of one table.
#pragma once

#include <memory>

class QTabWidget;

namespace app {

class ExternalSources;
struct WindowContext;

class ExternalSourcesArea {
 public:
  // Adds the page to `page_control`.
  ExternalSourcesArea(WindowContext& context, QTabWidget& page_control);
  ~ExternalSourcesArea();

  // The handlers' operations, for tests that choose a driver directly.
  ExternalSources& Operations() { return *operations_; }

 private:
  std::unique_ptr<ExternalSources> operations_;
};

}  // namespace app
