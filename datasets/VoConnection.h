// TVoConnection: the database folder of the query datasets and the SQL engine
// they run through. The engine is thrown away and made anew on every connect, so
// every load and query starts from tables freshly read from their files. Also the
// engine interface the datasets use, so that tests can put in their own engine.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/vekSQL.h"

class TVoQueryDataSet;

// What the datasets ask of an SQL engine.
class TVoEngine {
 public:
  virtual ~TVoEngine() = default;
  // Runs a batch: 0 when a statement failed (the reason in GetLastError), -1
  // when the last statement gave no record set, else that set's number. May
  // throw; GetLastError then says what happened.
  virtual int ExecuteSQL(std::string_view sql) = 0;
  virtual std::string GetLastError() const = 0;
  // nullptr when `n` names no record set; the set lives until it is released
  // or the engine is destroyed.
  virtual vek::TvekRecordSet* GetRecordSet(int n) = 0;
  // false when `n` names no record set.
  virtual bool ReleaseRecordSet(int n) = 0;
};

// The program's own engine behind that interface.
class TVoVekEngine final : public TVoEngine {
 public:
  int ExecuteSQL(std::string_view sql) override { return sql_.ExecuteSQL(sql); }
  std::string GetLastError() const override { return vek::TvekSQL::GetLastError(); }
  vek::TvekRecordSet* GetRecordSet(int n) override { return sql_.GetRecordSet(n); }
  bool ReleaseRecordSet(int n) override { return sql_.ReleaseRecordSet(n); }

 private:
  vek::TvekSQL sql_;
};

// Makes the engine of each connect; it must not return nullptr.
using TVoEngineFactory = std::function<std::unique_ptr<TVoEngine>()>;

// The folder a DatabasePath names. A path holding "/" or "\" is kept as it is
// (a relative one stays relative) with the separator that occurs last in it
// appended, even when it already ends with one: "/home/ana/shop/" gives
// "/home/ana/shop//". Any other path, the empty one too, names a folder inside
// `program_folder` (which ends with its separator): for "/opt/app/" and "shop",
// "/opt/app//shop/".
std::string ResolveDatabaseFolder(std::string_view database_path, std::string_view program_folder);

// The folder of the running executable with a trailing "/"; "" when it cannot
// be read.
std::string ExecutableFolder();

class TVoConnection {
 public:
  // Creates the first engine. An empty factory makes the program's own engine.
  explicit TVoConnection(TVoEngineFactory factory = {});
  // Frees the engine and detaches every dataset still pointing here (their
  // VoConnection becomes nullptr). Never throws.
  ~TVoConnection();
  TVoConnection(const TVoConnection&) = delete;
  TVoConnection& operator=(const TVoConnection&) = delete;

  // True once a connect statement was sent, whatever the engine answered.
  // Writing true (when false) runs OpenEngine; an exception there is swallowed
  // and leaves a fresh engine and false. Writing false (when true) runs
  // ResetEngine. Writing the current value does nothing.
  bool Connected() const { return connected_; }
  void SetConnected(bool value);

  // The folder as the user gives it; takes effect at the next connect.
  const std::string& DatabasePath() const { return database_path_; }
  void SetDatabasePath(std::string path) { database_path_ = std::move(path); }
  // DatabasePath resolved at the last connect (see ResolveDatabaseFolder).
  const std::string& DatabaseFolder() const { return database_folder_; }

  // '\0', ',' or '.'; any other character is not stored. Writing a value other
  // than the stored one applies the stored value to the process-wide separators:
  // ',' makes the decimal separator ',' and the thousand separator '.', '.' the
  // other way round, '\0' leaves both alone.
  char DecimalSeparator() const { return decimal_separator_; }
  void SetDecimalSeparator(char separator);

  // Display format the query datasets give their float fields.
  const std::string& FloatDisplayFormat() const { return float_display_format_; }
  void SetFloatDisplayFormat(std::string format) { float_display_format_ = std::move(format); }

  // The engine of the current connect. It is replaced by every connect and
  // reset: never keep the reference across one.
  TVoEngine& VekSQLInstance() { return *engine_; }
  // Puts in `engine` (owned from now on); the previous one is freed.
  void SetVekSQLInstance(std::unique_ptr<TVoEngine> engine);

  // The folder bare DatabasePath names are resolved in, with its trailing
  // separator; "" (the default) means the folder of the running executable.
  void SetProgramFolder(std::string folder) { program_folder_ = std::move(folder); }

  // Resolves DatabaseFolder, replaces the engine, sends "connect to '<folder>'"
  // and sets Connected. A refused folder is reported ("Connection to database: "
  // + DatabasePath + " failed! Error: " + the engine's text) and Connected is
  // still true. Exceptions pass to the caller.
  void OpenEngine();
  // Replaces the engine by a new one and sets Connected false; sends nothing.
  void ResetEngine();

 private:
  friend class TVoQueryDataSet;

  std::unique_ptr<TVoEngine> NewEngine() const;
  void Attach(TVoQueryDataSet* dataset);
  void Detach(TVoQueryDataSet* dataset);

  TVoEngineFactory factory_;
  std::unique_ptr<TVoEngine> engine_;
  bool connected_ = false;
  std::string database_path_;
  std::string database_folder_;
  char decimal_separator_ = '\0';
  std::string float_display_format_;
  std::string program_folder_;
  // The datasets whose VoConnection is this one, told when it goes.
  std::vector<TVoQueryDataSet*> datasets_;
};
