// Reading and writing the session file with Qt's XML stream classes.
#include "Session.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>

#include "rtl/AtomicFile.h"

namespace app {
namespace {

constexpr std::string_view kSuffix = ".Position";

}  // namespace

bool IsSessionProperty(const std::string& name) {
  return std::find(kSessionProperties.begin(), kSessionProperties.end(), name) !=
         kSessionProperties.end();
}

std::map<std::string, int> ReadSessionFile(const std::string& path) {
  std::map<std::string, int> values;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return values;
  QXmlStreamReader xml(&file);
  while (!xml.atEnd() && !xml.hasError()) {
    if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() == u"OrlendaSession" ||
        xml.name() == u"FormMain") {
      continue;
    }
    const std::string name = xml.name().toString().toStdString() + std::string(kSuffix);
    bool ok = false;
    const int position = xml.attributes().value(QStringLiteral("Position")).toInt(&ok);
    if (ok && position >= 0 && IsSessionProperty(name)) values[name] = position;
  }
  return values;
}

std::string WriteSessionFile(const std::string& path,
                             const std::vector<std::pair<std::string, int>>& values) {
  QByteArray bytes;
  QXmlStreamWriter xml(&bytes);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  xml.writeStartElement(QStringLiteral("OrlendaSession"));
  xml.writeStartElement(QStringLiteral("FormMain"));
  for (const auto& [name, position] : values) {
    if (name.size() <= kSuffix.size() || !name.ends_with(kSuffix)) continue;
    xml.writeEmptyElement(QString::fromStdString(name.substr(0, name.size() - kSuffix.size())));
    xml.writeAttribute(QStringLiteral("Position"), QString::number(position));
  }
  xml.writeEndDocument();

  rtl::AtomicFileWriter writer(path);
  if (!writer.Open() || !writer.Append(std::string_view(bytes.constData(), bytes.size())) ||
      !writer.Commit()) {
    return writer.Error();
  }
  return {};
}

}  // namespace app
