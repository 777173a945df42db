// Projects and table registration, without a window: the connection following
// the current project, the project folder chosen by the user, the folder the
// table-file dialog starts in, and a chosen file registered as a table of the
// current project (its fields then read from the project's file of that name).
#pragma once

#include <string>
#include <string_view>

#include "Catalogue.h"
#include "Messages.h"
#include "datasets/VoConnection.h"

namespace app {

// Points `connection` at `project_path` (ConnectToProject: a refused folder is
// reported by the connection and it stays connected) and returns its resolved
// DatabaseFolder, which the three file edits show and start their dialogs in.
// Errors other than a refused folder pass to the caller.
std::string OpenCurrentProject(TVoConnection& connection, const std::string& project_path);

// Asks "Do you want to apply selected folder as the project folder"; on Yes
// stores `folder` as it is in the current project's PROJECTPATH (a new project
// with an empty name when there is none), posts and re-reads Projects, which
// points the connection at it twice. False on No. A failed post (a path longer
// than the field) is cancelled and its DatabaseError passes to the caller.
bool AcceptProjectFolder(Catalogue& catalogue, Messages& messages, const std::string& folder);

// The folder the table-file dialog starts in: the current project's
// PROJECTPATH as stored ("" without a project), relative paths unresolved.
std::string TableFileDialogFolder(Catalogue& catalogue);

// The part of `file_name` after its last "/" or "\" (all of it without one).
std::string BaseFileName(std::string_view file_name);
// The table name a file is registered under: its base name before the last
// ".", or the whole base name when it has no "." ("orders.csv.txt" gives
// "orders.csv", "README" gives "README", ".txt" gives "").
std::string TableNameOfFile(std::string_view file_name);

// Asks "Do you want to register selected file as a table of the current
// project?"; on Yes appends a Tables row named TableNameOfFile(file_name),
// posts it (stamped with the current project) and re-reads Tables, then reads
// the new table's fields from the project's file of that name
// (GetFieldsSchema). A name that is empty or that TableNameProblem refuses,
// and a post that fails (no current project, a name too long), are reported
// as "The <base> file could not be registered as table: <name> in the
// project: <project name>"; the row is then cancelled and no fields are read.
// True when the table was registered (whether or not its fields could be read).
// `connection` is read only for its DatabaseFolder.
bool RegisterTableFile(Catalogue& catalogue, const TVoConnection& connection,
                       Messages& messages, const std::string& file_name);

}  // namespace app
