// The user manual shown on the UsersManual page.
#include "StaticPages.h"

namespace app {

const char* UsersManualText() {
  return R"manual(ORLENDA USER MANUAL

1. INTRODUCTION

Orlenda is a desktop database tool for data kept in flat text files. You register
folders of text tables as projects, look at and edit the tables' data, design and
run SQL statements over them with Orlenda's own SQL engine, keep named filters,
search values, export what you see to CSV files, and import tables from external
SQL servers.

The SQL dialect in short: CONNECT TO, CREATE TABLE, DROP TABLE, ALTER TABLE ...
ADD COLUMN / DROP COLUMN, SELECT (several tables, aliases, WHERE, IN, LIKE,
sub-selects, GROUP BY with count, sum, avg, max, min and stddev, HAVING,
ORDER BY), INSERT INTO, UPDATE, DELETE FROM, ASSIGN TO, RELEASE TABLE,
SAVE TABLE, COMMIT and ROLLBACK. Statements are separated by ";".

2. GENERAL CONCEPTS

A database is a folder; every file in it with the extension ".txt" is a table,
named after the file (the table orders is the file orders.txt).

- The first line of a table file holds the field (column) names, separated by
  ";". Every further line is one record, its values separated by ";".
- Every value is text. A value is read as a number or a date only while an
  expression is evaluated.
- Number literals in SQL are written with "." as the decimal point: 3.75.
- Write dates as ISO 8601: YYYY-MM-DD, or YYYY-MM-DDThh:mm:ss; times as hh:mm:ss.
- Values need no quotes. A value that holds ";", a line break, a tab, a
  backslash or a quote is stored by the engine in an escaped form: a backslash
  is written \\, a line feed \l, a carriage return \n, a tab \t, and the value
  is put in double quotes when it holds ";", a quote or an apostrophe. Such
  files are read back exactly. Files written through "Update CSV table", an
  import or a saved query result are written in the same form and read back
  exactly too.
- Projects, tables and fields are registered in Orlenda's catalogue. The
  catalogue is your list of what you work with; the folder's contents are what
  exists. The engine can query every ".txt" file of the folder, registered or
  not; registering a table lets you see its fields, edit its data and pick its
  name from lists.
- Changes made by SQL (INSERT, UPDATE, DELETE, ALTER TABLE) reach the table
  files only when the same batch ends with COMMIT or SAVE TABLE. Table data
  edited on the TableData page is written only by "Update CSV table". Every
  query starts from the files as they are on disk.

3. THE PAGES

Projects: add a project with the navigator's insert button, give it a name,
and choose its folder with the folder chooser. The current project decides
which tables, queries, connectors and filters the other pages show.

Tables, TableDesign: choose a ".txt" file of the project's folder with the file
chooser to register it as a table; its fields are read from its first line.
"Get Fields Schema" reads the fields of the current table again. Edit the list
of fields and press "Set Fields Schema" to add the fields missing from the
file and drop the columns no longer listed (a missing file is created).

Tables, TableData: "Load Data" loads the current table; edit it in the grid
or with the navigator; "Update CSV table" writes it back to its file;
"Unload Data" closes it. Click a column title to sort by that column (again to
reverse). "Filter", "Find" and "Export" open the filter, search and CSV export
windows for the loaded data.

Queries, QueryDesign: keep your queries with a name and a comment. Write the
SQL in the editor; press Ctrl+Space to complete a word from the SQL words and
the names of your tables and fields. Below the editor, the lists of tables,
fields, statements and functions each have an "Apply" button that inserts the
selected item at the cursor. "Run Query" runs the editor's text; "Run
Parameterized Query" first replaces every parameter name of the query (the
grid on the right) by its value. "Save Query To A File" and "Load Query From
A File" use the file named beside them.

Queries, QueryResult: the result of the last query. Sort it by clicking a
column title, search it with "Find", restrict it with "Filter", export it with
"Export", or write it with "Save Query Result To A File". "UnloadData" closes
it.

ExternalSources: see chapter 6.

4. THE SQL DIALECT

Keywords ignore letter case. Table and column names may be written bare or in
apostrophes.

CONNECT TO 'folder'           opens a folder as the database (':memory:' for
                              none); the program does this for you.
CREATE TABLE t (a, b, c)      creates the file t.txt with a header line.
DROP TABLE t                  removes the table.
ALTER TABLE t ADD COLUMN c    appends an empty column.
ALTER TABLE t DROP COLUMN c   removes a column and its values.

SELECT * FROM orders
SELECT name, price * 2 AS double_price FROM products WHERE price > 10.5
SELECT o.id, c.name FROM orders o, customers c WHERE o.customer = c.id
SELECT * FROM products WHERE name LIKE 'ap%'
SELECT * FROM products WHERE kind IN ('fruit', 'nut')
SELECT * FROM orders WHERE customer IN (SELECT id FROM customers WHERE town = 'Oslo')
SELECT kind, count(*), sum(price), avg(price), max(price), min(price), stddev(price)
  FROM products GROUP BY kind HAVING count(*) > 2
SELECT * FROM products ORDER BY #price DESC, name
                              ("#" orders by number instead of by text)

ASSIGN TO cheap SELECT * FROM products WHERE price < 5
                              keeps a result under a name for later statements.
RELEASE TABLE cheap           forgets a table or a named result.
SAVE TABLE products           writes a table back to its file.
INSERT INTO t VALUES ('1', 'apple', '2.5')
INSERT INTO t (id, name) VALUES ('2', 'pear')
INSERT INTO t SELECT * FROM u
UPDATE products SET price = price * 1.1 WHERE kind = 'fruit'
DELETE FROM products WHERE price = 0
COMMIT                        writes every changed table back to its file.
ROLLBACK                      drops the changes not yet written.

5. FUNCTIONS

Conversions: ASNUMBER(x), ISNUMERIC(x), ISDATE(x), FIX(x, precision) and
TRUNC(x, precision), CEIL(x), FLOOR(x).
FORMAT(value, formatstring): the format string holds literal text and one
placeholder %[width][.prec]type, type d (whole number), f (fixed),
e (exponent), n (with thousand separators), x (hexadecimal), s (text):
FORMAT(42, '%.5d') gives 00042, FORMAT(3.14159, '%.2f EUR') gives 3.14 EUR.
Dates: YEAR(d), MONTH(d), DAY(d), WEEKNUMBER(d), EASTER(year), DATE, TIME,
DATEADD(interval, number, date) with the intervals 'd', 'm', 'y', 'q' and 'w':
DATEADD('d', 5, '2012-02-27') gives 2012-03-03. Write a negative number as
(0 - 3).
Strings: LOWER, UPPER, TRIM, LENGTH, LEFT(x, n), RIGHT(x, n), MID(x, from, n),
REPLACE(x, old, new), SUBSTR_AFTER(x, s), SUBSTR_BEFORE(x, s), SOUNDEX(x).
Numbers: SIN, COS, SQR, SQRT, PI, and + - * / on values read as numbers.

6. IMPORT FROM EXTERNAL DATABASES

On the ExternalSources page, add an SQL connector for the current project:
a name, the protocol (pick one from the list), catalog, database, host name,
port, user and password. The password is kept in clear in Orlenda's catalogue
files; use an account that may only read. "Test Connection" tries the
connection. "Get Tables Schema" lists the server's tables; "Get Fields Schema"
lists the columns of the selected table; "Load Data" previews it. Mark the
connectors and tables to import with ToBeImported, give a table an
ImportedName if it should be stored under another name, and press
"IMPORT TABLE(S)": each marked table is written to the project's folder as a
text table.

7. CONTACT

See the Contact page.
)manual";
}

}  // namespace app
