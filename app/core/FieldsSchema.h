// A registered table's fields and its file's header, without a window: "Get
// Fields Schema" reads the header names into the table's Fields rows, "Set
// Fields Schema" changes the file's columns to the registered names through
// the engine and reads them back.
#pragma once

#include <string>
#include <vector>

#include "Catalogue.h"
#include "Messages.h"
#include "TableData.h"
#include "datasets/VoConnection.h"
#include "datasets/VoQueryDataSet.h"

namespace app {

// The column names of `file`'s header line, read as the dataset package reads
// headers (sdf::TSdfDataSet); empty when the file is empty or its first line
// holds no name. DatabaseError when the file is missing or unreadable and for
// two names equal but for case.
std::vector<std::string> ReadHeaderNames(const std::string& file);

// The FIELDNAME of each Fields row of the current table, in the order shown.
std::vector<std::string> RegisteredFieldNames(Catalogue& catalogue);

// Button "Get Fields Schema": replaces the current table's Fields rows by the
// header names of DatabaseFolder + TABLENAME + ".txt", in header order; a
// name that stays keeps its FIELDCOMMENT. Any failure (no current table, a
// refused name, a missing or unreadable file, a file without header names, a
// post refused) is shown as "I could not retrieve fields schema information. "
// + the reason; the Fields rows are then left as they were, except after a
// refused post, where the rows changed so far stay. True when replaced.
bool GetFieldsSchema(Catalogue& catalogue, const TVoConnection& connection, Messages& messages);

// Button "Set Fields Schema": makes the current table's file hold its
// registered names. A missing file is created with them (CreateTableFromFields);
// a file without a header gets them as its first line; otherwise the missing
// names are added (AddMissingColumns) and, only when every add succeeded, the
// surplus ones dropped (DropSurplusColumns), each text run through
// `action_query` (a refused batch is shown by the query dataset with the
// engine's error text; an empty text is not run). When the table data holds
// this table's file it is reloaded after the add step, after the drop step
// (or after the create step or the header write) and once more at the end;
// then the fields are read back (GetFieldsSchema). Nothing runs, and a message says why, when there is no
// current table, its name is refused, or the project folder does not exist;
// when the loaded data of this table has unsaved changes it first asks whether
// to discard them (No changes nothing). False when nothing ran.
bool SetFieldsSchema(Catalogue& catalogue, TVoConnection& connection,
                     TVoQueryDataSet& action_query, TableData& table_data, Messages& messages);

}  // namespace app
