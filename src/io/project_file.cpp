#include "io/project_file.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "io/file_writer.h"
#include "io/io_error.h"
#include "io/regular_file.h"

// Header-only use of the 8-bit interface: UTF-8 text passes through unchanged.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace plk::io {

namespace {

constexpr std::size_t kMaxTextLength = 2047;

// A real project of a million vertices takes about 70 MB; anything larger is not a project file.
constexpr qint64 kMaxProjectFileBytes = qint64{64} * 1024 * 1024;

// Vertices lie in or near an image of at most 2^26 pixels; a coordinate beyond this bound can
// only come from a damaged file, and would overflow the drawing arithmetic.
constexpr double kMaxCoordinate = 1e9;

std::string polygonCountKey(std::size_t k) { return "p" + std::to_string(k) + ".nbre_sommets"; }

std::string elementKey(std::size_t k, std::size_t j) {
  return "p" + std::to_string(k) + "-" + std::to_string(j) + ".index";
}

std::string vertexKey(std::size_t n, const char* field) { return std::to_string(n) + "." + field; }

// Builds the file in memory; sections and keys keep the order in which they are first set.
class ProjectWriter {
 public:
  explicit ProjectWriter(NumberFormat format) : format_(format) { ini_.SetSpaces(false); }

  // A line break in a value would end its line and start a key of the writer's choosing: it is
  // left out.
  void set(const std::string& section, const std::string& key, std::string value) {
    std::erase_if(value, [](char c) { return c == '\n' || c == '\r'; });
    if (ini_.SetValue(section.c_str(), key.c_str(), value.c_str()) < 0) failed_ = true;
  }
  void set(const std::string& section, const std::string& key, std::size_t value) {
    set(section, key, std::to_string(value));
  }
  void setReal(const std::string& section, const std::string& key, double value) {
    set(section, key, formatGeneral(value, format_));
  }
  void setBool(const std::string& section, const std::string& key, bool value) {
    set(section, key, value ? "1" : "0");
  }

  // Polygons with their vertices numbered from 0 in order of first use, each vertex written
  // just before the first ".index" that refers to it; then the side's vertex count.
  void writeSide(const std::string& side, const PolygonListRecord& record) {
    assert(isValid(record));
    const std::string vertexSection = "sommets_" + side;
    std::vector<std::int32_t> fileNumber(record.vertices.size(), -1);
    std::size_t written = 0;
    for (std::size_t k = 1; k <= record.polygons.size(); ++k) {
      const auto& numbers = record.polygons[k - 1];
      set(side, polygonCountKey(k), numbers.size());
      for (std::size_t j = 1; j <= numbers.size(); ++j) {
        const auto n = static_cast<std::size_t>(numbers[j - 1]);
        if (fileNumber[n] == -1) {
          fileNumber[n] = static_cast<std::int32_t>(written);
          writeVertex(vertexSection, written++, record.vertices[n]);
        }
        set(side, elementKey(k, j), std::to_string(fileNumber[n]));
      }
    }
    set("sommets", "nbre_" + side, written);
  }

  [[nodiscard]] std::optional<std::string> text() const {
    std::string out;
    if (failed_ || ini_.Save(out) < 0) return std::nullopt;
    return out;
  }

 private:
  void writeVertex(const std::string& section, std::size_t n, const VertexRecord& vertex) {
    setReal(section, vertexKey(n, "U"), vertex.U);
    setReal(section, vertexKey(n, "V"), vertex.V);
    setBool(section, vertexKey(n, "BordU"), vertex.BordU);
    setBool(section, vertexKey(n, "BordV"), vertex.BordV);
  }

  NumberFormat format_;
  CSimpleIniA ini_{true};
  bool failed_ = false;
};

std::optional<std::int32_t> parseHex(std::string_view digits) {
  std::int32_t value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::int32_t> parseFileInteger(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) return parseHex(text.substr(2));
  return parseInteger(text);
}

// Cuts a UTF-8 text to at most kMaxTextLength bytes without splitting a character.
std::string truncatedText(std::string_view text) {
  if (text.size() <= kMaxTextLength) return std::string(text);
  std::size_t length = kMaxTextLength;
  while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  return std::string(text.substr(0, length));
}

bool isValidUtf8(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8(bytes);
  return !utf8.hasError();
}

// Files of this family are 8-bit text in the system's code page: ISO-8859-1 when every character
// fits, UTF-8 otherwise so that nothing typed is lost. ISO-8859-1 bytes that happen to form UTF-8
// ("Ã©") would be read back as other characters, so such a text is written in UTF-8 too.
QByteArray encodedForFile(const std::string& utf8) {
  const QString text = QString::fromStdString(utf8);
  const bool fitsLatin1 =
      std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
  const QByteArray latin1 = fitsLatin1 ? text.toLatin1() : QByteArray();
  return fitsLatin1 && (latin1 == utf8.c_str() || !isValidUtf8(latin1))
             ? latin1
             : QByteArray::fromStdString(utf8);
}

// A file that is valid UTF-8 is read as such; any other is ISO-8859-1 from an 8-bit writer.
QByteArray decodedToUtf8(const QByteArray& bytes) {
  if (isValidUtf8(bytes)) return bytes;
  return QString::fromLatin1(bytes).toUtf8();
}

std::string invalidFileMessage(const QString& path) {
  return "Le fichier de projet est invalide : " + path.toStdString();
}

// Key lookups with the defaults of a missing or unreadable value, and the consistency checks
// that refuse a file whose numbers point past the keys it holds.
class ProjectReader {
 public:
  explicit ProjectReader(const QString& path) : path_(path) { ini_.SetUnicode(true); }

  void load(const QByteArray& bytes) {
    if (ini_.LoadData(bytes.constData(), static_cast<std::size_t>(bytes.size())) < 0) invalid();
  }

  [[nodiscard]] const char* raw(const std::string& section, const std::string& key) const {
    return ini_.GetValue(section.c_str(), key.c_str(), nullptr);
  }
  [[nodiscard]] std::string text(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    const char* value = raw(section, key);
    return value != nullptr ? truncatedText(value) : fallback;
  }
  [[nodiscard]] std::int32_t integer(const std::string& section, const std::string& key) const {
    const char* value = raw(section, key);
    return value != nullptr ? parseFileInteger(value).value_or(0) : 0;
  }
  [[nodiscard]] bool boolean(const std::string& section, const std::string& key) const {
    return integer(section, key) != 0;
  }

  [[nodiscard]] PolygonListRecord readSide(const std::string& side) const {
    PolygonListRecord record;
    record.vertices = readVertices(side);
    const std::int32_t polygonCount = integer("polygones", "nbre_" + side);
    const int keysInSide = keyCount(side);
    if (polygonCount < 0 || polygonCount > keysInSide) invalid();
    for (std::size_t k = 1; k <= static_cast<std::size_t>(polygonCount); ++k) {
      record.polygons.push_back(readPolygon(side, k, keysInSide, record.vertices.size()));
    }
    return record;
  }

 private:
  [[nodiscard]] std::vector<VertexRecord> readVertices(const std::string& side) const {
    const std::string section = "sommets_" + side;
    const std::int32_t count = integer("sommets", "nbre_" + side);
    if (count < 0 || count > keyCount(section)) invalid();
    std::vector<VertexRecord> vertices;
    for (std::size_t n = 0; n < static_cast<std::size_t>(count); ++n) {
      vertices.push_back(
          {coordinate(section, vertexKey(n, "U")), coordinate(section, vertexKey(n, "V")),
           boolean(section, vertexKey(n, "BordU")), boolean(section, vertexKey(n, "BordV"))});
    }
    return vertices;
  }

  [[nodiscard]] std::vector<std::int32_t> readPolygon(const std::string& side, std::size_t k,
                                                      int keysInSide,
                                                      std::size_t vertexCount) const {
    requireKey(side, polygonCountKey(k));
    const std::int32_t count = integer(side, polygonCountKey(k));
    if (count < 0 || count > keysInSide) invalid();
    std::vector<std::int32_t> numbers;
    for (std::size_t j = 1; j <= static_cast<std::size_t>(count); ++j) {
      requireKey(side, elementKey(k, j));
      const std::int32_t n = integer(side, elementKey(k, j));
      if (n < 0 || static_cast<std::size_t>(n) >= vertexCount) invalid();
      numbers.push_back(n);
    }
    return numbers;
  }

  // A vertex coordinate: the key must be present, and a number must be finite and within
  // kMaxCoordinate; a text that is no number reads as 0, like any unreadable value.
  [[nodiscard]] double coordinate(const std::string& section, const std::string& key) const {
    const char* value = raw(section, key);
    if (value == nullptr) invalid();
    const double parsed = parseReal(value).value_or(0.0);
    if (!(std::abs(parsed) <= kMaxCoordinate)) invalid();
    return parsed;
  }

  // Number of keys of a section, 0 when it is absent.
  [[nodiscard]] int keyCount(const std::string& section) const {
    return std::max(ini_.GetSectionSize(section.c_str()), 0);
  }

  void requireKey(const std::string& section, const std::string& key) const {
    if (raw(section, key) == nullptr) invalid();
  }

  [[noreturn]] void invalid() const { throw IoError(invalidFileMessage(path_)); }

  QString path_;
  CSimpleIniA ini_;
};

}  // namespace

std::optional<QByteArray> projectFileBytes(const ProjectFileData& data, NumberFormat format) {
  ProjectWriter writer(format);
  writer.set("general", "nom_projet", data.projectName);
  writer.set("general", "imageg_location", data.leftImagePath);
  writer.set("general", "imaged_location", data.rightImagePath);
  writer.set("polygones", "nbre_gauche", data.left.polygons.size());
  writer.set("polygones", "nbre_droite", data.right.polygons.size());
  writer.writeSide("gauche", data.left);
  writer.writeSide("droite", data.right);

  const std::optional<std::string> text = writer.text();
  if (!text) return std::nullopt;
  return encodedForFile(*text);
}

void writeProjectFile(const QString& path, const ProjectFileData& data, NumberFormat format) {
  const std::string failure = "Unable to write to " + path.toStdString();
  const std::optional<QByteArray> bytes = projectFileBytes(data, format);
  if (!bytes) throw IoError(failure);
  replaceFile(path, *bytes, failure);
}

ProjectFileData readProjectFile(const QString& path) {
  if (!QFileInfo::exists(path)) return ProjectFileData();
  const std::optional<QByteArray> bytes = readRegularFile(path, kMaxProjectFileBytes);
  if (!bytes) throw IoError(invalidFileMessage(path));
  return parseProjectFile(*bytes, path);
}

ProjectFileData parseProjectFile(const QByteArray& bytes, const QString& path) {
  ProjectFileData data;
  ProjectReader reader(path);
  reader.load(decodedToUtf8(bytes));
  data.projectName = reader.text("general", "nom_projet", data.projectName);
  data.leftImagePath = reader.text("general", "imageg_location", "");
  data.rightImagePath = reader.text("general", "imaged_location", "");
  data.left = reader.readSide("gauche");
  data.right = reader.readSide("droite");
  return data;
}

}  // namespace plk::io
