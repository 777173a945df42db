// The statements that make a table file's columns match its registered fields:
// add the registered names the header lacks, drop the header names no longer
// registered, or create the file with the registered names. Pure texts in the
// engine's dialect; names go in as they are, between single quotes.
#pragma once

#include <string>
#include <vector>

namespace app {

// For each registered name F, in order, that the header lacks (names compare
// exactly, case included):
//   "ALTER TABLE 'T' ADD COLUMN 'F'; SAVE TABLE 'T';"
// The engine's own column names ignore case, so "name" cannot be added beside
// "Name": when the header has a name H equal to F but for case, and H is not
// registered itself, H is dropped in the same fragment before F is added,
//   "ALTER TABLE 'T' DROP COLUMN 'H'; ALTER TABLE 'T' ADD COLUMN 'F'; SAVE TABLE 'T';"
// and both reach the file together or not at all. "" when nothing is missing.
std::string AddMissingColumns(const std::string& table, const std::vector<std::string>& registered,
                              const std::vector<std::string>& header);

// For each header name H, in header order, that is not registered and was not
// re-cased (see AddMissingColumns):
//   "ALTER TABLE 'T' DROP COLUMN 'H'; SAVE TABLE 'T'; "
// "" when nothing is surplus.
std::string DropSurplusColumns(const std::string& table, const std::vector<std::string>& registered,
                               const std::vector<std::string>& header);

// "CREATE TABLE 'T'('F1','F2',...,'Fn');", with "()" when nothing is
// registered (which the engine refuses).
std::string CreateTableFromFields(const std::string& table,
                                  const std::vector<std::string>& registered);

}  // namespace app
