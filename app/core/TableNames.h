// Table names and their files: a registered table T is the file
// DatabaseFolder + T + ".txt", so a name must never lead out of the project
// folder. Also the current table of the catalogue, as the operations read it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace app {

class Catalogue;
class Messages;

// Why `name` cannot name a table file of the project folder, or "" when it
// can: a "/", "\" or NUL in it, or the name "." or "..", would put the file
// elsewhere ("../orders" + ".txt" is a file beside the project folder). The
// text is "Invalid table name: " + name + " (...)".
std::string TableNameProblem(std::string_view name);

// `folder` + `name` + ".txt", the folder as the connection resolved it.
std::string TableFilePath(const std::string& folder, const std::string& name);

// The TABLENAME of the current Tables row; nullopt when Tables is closed or
// shows no row.
std::optional<std::string> CurrentTableName(Catalogue& catalogue);

// What a handler says when there is no current table.
inline constexpr std::string_view kNoCurrentTable =
    "There is no current table: register or choose a table first.";

// The current table's name for a handler that works on its file: nullopt,
// after saying why through `messages`, when there is no current table or its
// name could lead out of the project folder.
std::optional<std::string> CurrentTableToWorkOn(Catalogue& catalogue, Messages& messages);

// Puts the name check in front of the Tables before-post rule: a row whose
// TABLENAME TableNameProblem refuses raises DatabaseError with that text and
// stays in edit or insert. Call once, after the catalogue is made and before
// rows are posted; the rule it chains to is kept and runs afterwards.
void GuardTableNames(Catalogue& catalogue);

}  // namespace app
