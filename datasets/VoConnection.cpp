// The connection: folder resolution, the engine's replacement on every connect,
// the connect statement and its report, and the process-wide separators.
#include "datasets/VoConnection.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "datasets/Reporter.h"
#include "datasets/VoQueryDataSet.h"
#include "rtl/Separators.h"

namespace {

// The separator character that occurs last in `text`; '\0' when none does.
char LastSeparator(std::string_view text) {
  std::size_t at = text.find_last_of("/\\");
  return at == std::string_view::npos ? '\0' : text[at];
}

// The connect statement for `folder`. The folder is quoted with every
// apostrophe doubled, which the engine reads back as one: /data/it's must reach
// the engine as /data/it's, not end the text at "it".
std::string ConnectStatement(std::string_view folder) {
  std::string statement = "connect to '";
  for (char c : folder) {
    statement += c;
    if (c == '\'') statement += '\'';
  }
  statement += '\'';
  return statement;
}

}  // namespace

std::string ResolveDatabaseFolder(std::string_view database_path, std::string_view program_folder) {
  std::string folder(database_path);
  if (char separator = LastSeparator(database_path); separator != '\0') {
    folder += separator;
    return folder;
  }
  char separator = LastSeparator(program_folder);
  if (separator == '\0') separator = '/';
  folder = std::string(program_folder) + separator + folder + separator;
  return folder;
}

std::string ExecutableFolder() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  std::string folder = exe.parent_path().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

TVoConnection::TVoConnection(TVoEngineFactory factory)
    : factory_(std::move(factory)), engine_(NewEngine()) {}

TVoConnection::~TVoConnection() {
  for (TVoQueryDataSet* dataset : datasets_) dataset->connection_ = nullptr;
}

std::unique_ptr<TVoEngine> TVoConnection::NewEngine() const {
  if (!factory_) return std::make_unique<TVoVekEngine>();
  std::unique_ptr<TVoEngine> engine = factory_();
  if (!engine) throw std::logic_error("The engine factory made no engine");
  return engine;
}

void TVoConnection::SetVekSQLInstance(std::unique_ptr<TVoEngine> engine) {
  if (engine && engine != engine_) engine_ = std::move(engine);
}

void TVoConnection::SetConnected(bool value) {
  if (value == connected_) return;
  if (!value) {
    ResetEngine();
    return;
  }
  try {
    OpenEngine();
    connected_ = true;
  } catch (...) {
    ResetEngine();
  }
}

void TVoConnection::SetDecimalSeparator(char separator) {
  if (separator == decimal_separator_) return;
  if (separator == '\0' || separator == ',' || separator == '.') decimal_separator_ = separator;
  if (decimal_separator_ == ',') {
    rtl::SetDecimalSeparator(',');
    rtl::SetThousandSeparator('.');
  } else if (decimal_separator_ == '.') {
    rtl::SetDecimalSeparator('.');
    rtl::SetThousandSeparator(',');
  }
}

void TVoConnection::OpenEngine() {
  std::string program_folder = program_folder_.empty() ? ExecutableFolder() : program_folder_;
  database_folder_ = ResolveDatabaseFolder(database_path_, program_folder);
  engine_ = NewEngine();
  int answer = engine_->ExecuteSQL(ConnectStatement(database_folder_));
  connected_ = true;
  if (answer == 0) {
    ShowMessage("Connection to database: " + database_path_ +
                " failed! Error: " + engine_->GetLastError());
  }
}

void TVoConnection::ResetEngine() {
  engine_ = NewEngine();
  connected_ = false;
}

void TVoConnection::Attach(TVoQueryDataSet* dataset) {
  if (std::find(datasets_.begin(), datasets_.end(), dataset) == datasets_.end()) {
    datasets_.push_back(dataset);
  }
}

void TVoConnection::Detach(TVoQueryDataSet* dataset) { std::erase(datasets_, dataset); }
