// The ExternalSources page: SQL connectors to external servers, their tables
// with the column list, and the data preview of one table.
#pragma once

class QTabWidget;

namespace app {

struct WindowContext;

class ExternalSourcesArea {
 public:
  // Adds the page to `page_control`.
  ExternalSourcesArea(WindowContext& context, QTabWidget& page_control);
};

}  // namespace app
