#include "core/results_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <system_error>

#include "core/verdict.h"

namespace plk {

namespace {

constexpr std::string_view kHeader = "plk-resultats";
constexpr std::string_view kEnd = "fin";
constexpr std::string_view kNoValue = "-";

// Table names, in the order of the text.
constexpr std::string_view kPointTables[] = {"points_interet", "appariements", "inliers"};
constexpr std::string_view kHomographyTables[] = {
    "homographies_lineaires", "homographies_non_lineaires", "homographies_robustes",
    "homographies_robustes_non_lineaires", "homographies_photometriques"};

std::string real(double value) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, error == std::errc() ? end : buffer);
}

// Fingerprints are written with their 16 hexadecimal digits, so that a cut one is seen as such.
constexpr std::size_t kFingerprintDigits = 16;

std::string hex(std::uint64_t value) {
  char buffer[kFingerprintDigits];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, 16);
  const std::string digits(buffer, error == std::errc() ? end : buffer);
  return std::string(kFingerprintDigits - digits.size(), '0') + digits;
}

class Writer {
 public:
  void line(std::string_view name) {
    text_ += name;
    text_ += '\n';
  }
  void line(std::string_view name, std::size_t count) {
    text_ += name;
    text_ += ' ';
    text_ += std::to_string(count);
    text_ += '\n';
  }
  template <typename... Values>
  void record(const Values&... values) {
    std::string_view separator;
    ((text_ += separator, text_ += token(values), separator = " "), ...);
    text_ += '\n';
  }
  [[nodiscard]] std::string& text() { return text_; }

 private:
  static std::string token(double value) { return real(value); }
  static std::string token(std::int32_t value) { return std::to_string(value); }
  static std::string token(bool value) { return value ? "1" : "0"; }
  static std::string token(std::string_view value) { return std::string(value); }

  std::string text_;
};

void writePoints(Writer& out, std::string_view name, const std::vector<InterestPointList>& table) {
  out.line(name, table.size());
  for (const InterestPointList& list : table) {
    out.line("liste", list.size());
    for (const InterestPoint& point : list) {
      out.record(point.ordinal, point.score, point.u, point.v, point.leftU, point.leftV);
    }
  }
}

void writeCounts(Writer& out, std::string_view name, const std::vector<std::int32_t>& counts) {
  out.line(name, counts.size());
  for (const std::int32_t count : counts) out.record(count);
}

void writeHomographies(Writer& out, std::string_view name, const std::vector<Homography>& table) {
  out.line(name, table.size());
  for (const Homography& h : table) {
    out.record(h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7], h[8]);
  }
}

void writeEstimations(Writer& out, const std::vector<PolygonEstimation>& table) {
  out.line("estimations", table.size());
  for (const PolygonEstimation& e : table) {
    out.record(e.nonLinearCostBefore, e.nonLinearCostAfter, e.nonLinearStatus, e.inlierCount,
               e.robustStatus, e.robustNonLinearCostBefore, e.robustNonLinearCostAfter,
               e.robustNonLinearStatus);
  }
}

void writeQualities(Writer& out, const std::vector<PhotometricQuality>& table) {
  out.line("qualites_photometriques", table.size());
  for (const PhotometricQuality& q : table) {
    const std::string disagreement =
        q.maxDisagreement ? real(*q.maxDisagreement) : std::string(kNoValue);
    const std::array<double, 9>& c = q.covariance;
    out.record(static_cast<std::int32_t>(q.status), q.pixelsUsed, q.iterations, q.residualGrey,
               q.correlation, q.disparitySd, std::string_view(disagreement), q.centreU, q.centreV,
               q.scale, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
  }
}

void writeFingerprints(Writer& out, std::string_view name,
                       const std::vector<std::uint64_t>& table) {
  out.line(name, table.size());
  for (const std::uint64_t fingerprint : table) out.record(std::string_view(hex(fingerprint)));
}

void writeVerdicts(Writer& out, const ToolResults& results) {
  const auto choice = static_cast<HomographyChoice>(results.verdictEstimate);
  const std::size_t count =
      std::max(results.polygonEstimations.size(), results.photometricQualities.size());
  for (std::size_t p = 0; p < count; ++p) {
    if (auto verdict = judgePolygon(results, p, choice, NumberFormat{})) {
      std::string line = "# polygone " + std::to_string(p + 1) + " : ";
      line += verdictName(verdict->verdict);
      if (!verdict->reason.empty()) line += " (" + verdict->reason + ")";
      out.line(line);
    }
  }
}

// The tokens of the text in order, comments left out; every read checks what it finds.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  [[nodiscard]] std::optional<std::string_view> token() {
    skipBlanksAndComments();
    const std::size_t start = position_;
    while (position_ < text_.size() && !isBlank(text_[position_])) ++position_;
    if (start == position_) return std::nullopt;
    return text_.substr(start, position_ - start);
  }
  [[nodiscard]] bool expect(std::string_view word) { return token() == word; }

  template <typename Number>
  [[nodiscard]] std::optional<Number> number(int base = 10) {
    const std::optional<std::string_view> word = token();
    if (!word) return std::nullopt;
    Number value{};
    const auto [end, error] =
        std::from_chars(word->data(), word->data() + word->size(), value, base);
    if (error != std::errc() || end != word->data() + word->size()) return std::nullopt;
    return value;
  }
  [[nodiscard]] std::optional<double> real() {
    const std::optional<std::string_view> word = token();
    if (!word) return std::nullopt;
    double value = 0.0;
    const auto [end, error] = std::from_chars(word->data(), word->data() + word->size(), value);
    if (error != std::errc() || end != word->data() + word->size()) return std::nullopt;
    return value;
  }
  // The count of a "name count" line.
  [[nodiscard]] std::optional<std::size_t> count(std::string_view name) {
    if (!expect(name)) return std::nullopt;
    return number<std::size_t>();
  }
  [[nodiscard]] bool atEnd() {
    skipBlanksAndComments();
    return position_ == text_.size();
  }

 private:
  static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  void skipBlanksAndComments() {
    while (position_ < text_.size()) {
      if (text_[position_] == '#') {
        while (position_ < text_.size() && text_[position_] != '\n') ++position_;
      } else if (isBlank(text_[position_])) {
        ++position_;
      } else {
        return;
      }
    }
  }

  std::string_view text_;
  std::size_t position_ = 0;
};

// Reads a "name count" line and its records, each with `read`; false at the first that fails.
// The table grows as records are read, so a count larger than the text never allocates for it.
template <typename Record, typename Read>
bool readTable(Reader& in, std::string_view name, std::vector<Record>& table, Read read) {
  const std::optional<std::size_t> count = in.count(name);
  if (!count) return false;
  for (std::size_t i = 0; i < *count; ++i) {
    std::optional<Record> record = read();
    if (!record) return false;
    table.push_back(std::move(*record));
  }
  return true;
}

template <std::size_t N>
bool readReals(Reader& in, std::array<double*, N> targets) {
  for (double* target : targets) {
    const std::optional<double> value = in.real();
    if (!value) return false;
    *target = *value;
  }
  return true;
}

std::optional<std::uint64_t> readFingerprint(Reader& in) {
  const std::optional<std::string_view> digits = in.token();
  if (!digits || digits->size() != kFingerprintDigits) return std::nullopt;
  Reader value(*digits);
  return value.number<std::uint64_t>(16);
}

std::optional<InterestPoint> readPoint(Reader& in) {
  InterestPoint point;
  const std::optional<std::int32_t> ordinal = in.number<std::int32_t>();
  if (!ordinal) return std::nullopt;
  point.ordinal = *ordinal;
  if (!readReals<5>(in, {&point.score, &point.u, &point.v, &point.leftU, &point.leftV})) {
    return std::nullopt;
  }
  return point;
}

bool readPoints(Reader& in, std::string_view name, std::vector<InterestPointList>& table) {
  return readTable(in, name, table, [&in]() -> std::optional<InterestPointList> {
    InterestPointList list;
    if (!readTable(in, "liste", list, [&in] { return readPoint(in); })) return std::nullopt;
    return list;
  });
}

std::optional<Homography> readHomography(Reader& in) {
  Homography h{};
  if (!readReals<9>(in, {&h[0], &h[1], &h[2], &h[3], &h[4], &h[5], &h[6], &h[7], &h[8]})) {
    return std::nullopt;
  }
  return h;
}

std::optional<PolygonEstimation> readEstimation(Reader& in) {
  PolygonEstimation e;
  if (!readReals<8>(in, {&e.nonLinearCostBefore, &e.nonLinearCostAfter, &e.nonLinearStatus,
                         &e.inlierCount, &e.robustStatus, &e.robustNonLinearCostBefore,
                         &e.robustNonLinearCostAfter, &e.robustNonLinearStatus})) {
    return std::nullopt;
  }
  return e;
}

std::optional<PhotometricStatus> photometricStatus(std::optional<std::int32_t> code) {
  for (const PhotometricStatus status :
       {PhotometricStatus::Converged, PhotometricStatus::IterationLimit,
        PhotometricStatus::TooFewPixels}) {
    if (code == static_cast<std::int32_t>(status)) return status;
  }
  return std::nullopt;
}

std::optional<PhotometricQuality> readQuality(Reader& in) {
  PhotometricQuality q;
  const std::optional<PhotometricStatus> status = photometricStatus(in.number<std::int32_t>());
  const std::optional<std::int32_t> pixels = in.number<std::int32_t>();
  const std::optional<std::int32_t> iterations = in.number<std::int32_t>();
  if (!status || !pixels || !iterations) return std::nullopt;
  q.status = *status;
  q.pixelsUsed = *pixels;
  q.iterations = *iterations;
  if (!readReals<3>(in, {&q.residualGrey, &q.correlation, &q.disparitySd})) return std::nullopt;
  const std::optional<std::string_view> disagreement = in.token();
  if (!disagreement) return std::nullopt;
  if (*disagreement != kNoValue) {
    Reader value(*disagreement);
    q.maxDisagreement = value.real();
    if (!q.maxDisagreement) return std::nullopt;
  }
  std::array<double, 9>& c = q.covariance;
  if (!readReals<12>(in, {&q.centreU, &q.centreV, &q.scale, &c[0], &c[1], &c[2], &c[3], &c[4],
                          &c[5], &c[6], &c[7], &c[8]})) {
    return std::nullopt;
  }
  return q;
}

std::optional<bool> readFlag(Reader& in) {
  const std::optional<int> flag = in.number<int>();
  if (flag != 0 && flag != 1) return std::nullopt;
  return *flag == 1;
}

bool readStages(Reader& in, ToolResults& results) {
  if (!in.expect("etapes")) return false;
  for (bool* flag :
       {&results.pointsDetected, &results.pointsMatched, &results.homographiesEstimated}) {
    const std::optional<bool> value = readFlag(in);
    if (!value) return false;
    *flag = *value;
  }
  return true;
}

bool readSettings(Reader& in, ToolResults& results) {
  if (!readStages(in, results) || !in.expect("estimation_des_verdicts")) return false;
  const std::optional<std::int32_t> choice = in.number<std::int32_t>();
  const auto lastChoice = static_cast<std::int32_t>(HomographyChoice::Photometric);
  if (!choice || *choice < 0 || *choice > lastChoice) return false;
  results.verdictEstimate = *choice;
  return in.expect("disparites_cherchees") &&
         readReals<2>(in,
                      {&results.matchedDisparities.lowest, &results.matchedDisparities.highest});
}

bool readTables(Reader& in, ToolResults& r) {
  const auto integer = [&in] { return in.number<std::int32_t>(); };
  const auto homography = [&in] { return readHomography(in); };
  const auto fingerprint = [&in] { return readFingerprint(in); };
  const std::array<std::vector<Homography>*, 5> homographies{
      &r.linearHomographies, &r.nonLinearHomographies, &r.robustHomographies,
      &r.robustNonLinearHomographies, &r.photometricHomographies};
  if (!readPoints(in, kPointTables[0], r.interestPoints) ||
      !readTable(in, "nombres_points_interet", r.interestPointCounts, integer) ||
      !readPoints(in, kPointTables[1], r.matches) ||
      !readTable(in, "nombres_appariements", r.matchCounts, integer)) {
    return false;
  }
  for (std::size_t k = 0; k < homographies.size(); ++k) {
    if (!readTable(in, kHomographyTables[k], *homographies[k], homography)) return false;
  }
  return readTable(in, "estimations", r.polygonEstimations, [&in] { return readEstimation(in); }) &&
         readTable(in, "qualites_photometriques", r.photometricQualities,
                   [&in] { return readQuality(in); }) &&
         readPoints(in, kPointTables[2], r.inlierMatches) &&
         readTable(in, "empreintes_detection", r.detectedFrom, fingerprint) &&
         readTable(in, "empreintes_appariement", r.matchedFrom, fingerprint) &&
         readTable(in, "empreintes_estimation", r.estimatedFrom, fingerprint);
}

}  // namespace

std::string resultsText(const ToolResults& results, std::uint64_t polygonsFingerprint) {
  Writer out;
  out.record(kHeader, static_cast<std::int32_t>(kResultsTextVersion));
  out.record(std::string_view("polygones"), std::string_view(hex(polygonsFingerprint)));
  out.record(std::string_view("etapes"), results.pointsDetected, results.pointsMatched,
             results.homographiesEstimated);
  out.record(std::string_view("estimation_des_verdicts"), results.verdictEstimate);
  out.record(std::string_view("disparites_cherchees"), results.matchedDisparities.lowest,
             results.matchedDisparities.highest);
  writeVerdicts(out, results);
  writePoints(out, kPointTables[0], results.interestPoints);
  writeCounts(out, "nombres_points_interet", results.interestPointCounts);
  writePoints(out, kPointTables[1], results.matches);
  writeCounts(out, "nombres_appariements", results.matchCounts);
  const std::array<const std::vector<Homography>*, 5> homographies{
      &results.linearHomographies, &results.nonLinearHomographies, &results.robustHomographies,
      &results.robustNonLinearHomographies, &results.photometricHomographies};
  for (std::size_t k = 0; k < homographies.size(); ++k) {
    writeHomographies(out, kHomographyTables[k], *homographies[k]);
  }
  writeEstimations(out, results.polygonEstimations);
  writeQualities(out, results.photometricQualities);
  writePoints(out, kPointTables[2], results.inlierMatches);
  writeFingerprints(out, "empreintes_detection", results.detectedFrom);
  writeFingerprints(out, "empreintes_appariement", results.matchedFrom);
  writeFingerprints(out, "empreintes_estimation", results.estimatedFrom);
  out.line(kEnd);
  return std::move(out.text());
}

std::variant<ToolResults, ResultsRefusal> parseResultsText(std::string_view text,
                                                           std::uint64_t polygonsFingerprint) {
  Reader in(text);
  if (!in.expect(kHeader)) return ResultsRefusal::Malformed;
  const std::optional<int> version = in.number<int>();
  if (!version || *version < 1) return ResultsRefusal::Malformed;
  if (*version > kResultsTextVersion) return ResultsRefusal::NewerVersion;
  if (!in.expect("polygones")) return ResultsRefusal::Malformed;
  const std::optional<std::uint64_t> fingerprint = readFingerprint(in);
  if (!fingerprint) return ResultsRefusal::Malformed;
  if (*fingerprint != polygonsFingerprint) return ResultsRefusal::OtherPolygons;
  ToolResults results;
  if (!readSettings(in, results) || !readTables(in, results) || !in.expect(kEnd) || !in.atEnd()) {
    return ResultsRefusal::Malformed;
  }
  return results;
}

}  // namespace plk
