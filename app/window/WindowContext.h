// What every area of the main window works with: the message interface, the
// dataset connection, the query datasets shown in grids, and the catalogue.
// The main window owns them all; the areas borrow them for its lifetime.
#pragma once

#include "Catalogue.h"
#include "Messages.h"
#include "datasets/VoConnection.h"
#include "datasets/VoQueryDataSet.h"

namespace app {

struct WindowContext {
  Messages& messages;
  TVoConnection& VoConnection1;
  TVoQueryDataSet& VoQueryDatasetQueryResult;
  TVoQueryDataSet& VoQueryDatasetCSVTableData;
  TVoQueryDataSet& VoQueryDatasetSQLTableData;
  Catalogue& catalogue;
};

}  // namespace app
