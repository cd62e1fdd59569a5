#include "publish/publication_guard.h"

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "platform/paths.h"
#include "platform/text_file.h"

namespace et {
namespace {

using Json = nlohmann::ordered_json;

// The counts as kept; a missing, unreadable or damaged file holds none, so
// the next upload of each file is published and starts the counts anew.
Json ReadCounts(const std::string& path) {
  if (!FileExists(path)) return Json::object();
  try {
    Json json = Json::parse(ReadFileBytes(path), nullptr, /*allow_exceptions=*/false);
    if (json.is_object()) return json;
  } catch (const std::exception&) {
  }
  return Json::object();
}

}  // namespace

bool PublishAnywayRequested() {
  const char* value = std::getenv(kPublishAnywayVariable);
  return value && std::string_view(value) == "1";
}

std::optional<std::string> CollapseReason(const std::string& file_name, long long previous,
                                          long long current, int max_drop_percent) {
  if (max_drop_percent <= 0 || current >= previous) return std::nullopt;
  // Whole numbers throughout: a drop of exactly the limit still publishes.
  if ((previous - current) * 100 <= previous * max_drop_percent) return std::nullopt;
  return "File " + file_name + " non pubblicato: " + std::to_string(current) +
         " righe di dati contro " + std::to_string(previous) +
         " dell'ultimo caricamento riuscito (calo oltre il " + std::to_string(max_drop_percent) +
         "%)";
}

PublicationGuard::PublicationGuard(const std::string& export_directory, std::string run,
                                   int max_drop_percent, bool publish_anyway)
    : path_(WithTrailingSeparator(export_directory) + kPublishedLinesFileName),
      run_(std::move(run)),
      max_drop_percent_(max_drop_percent),
      publish_anyway_(publish_anyway) {}

std::optional<long long> PublicationGuard::Previous(const std::string& file_name) const {
  const Json counts = ReadCounts(path_);
  const auto run = counts.find(run_);
  if (run == counts.end() || !run->is_object()) return std::nullopt;
  const auto file = run->find(file_name);
  if (file == run->end() || !file->is_number_integer()) return std::nullopt;
  return file->get<long long>();
}

GuardVerdict PublicationGuard::Check(const std::string& file_name, long long data_lines) const {
  GuardVerdict verdict;
  if (max_drop_percent_ <= 0) return verdict;
  const std::optional<long long> previous = Previous(file_name);
  if (!previous) return verdict;
  if (std::optional<std::string> reason =
          CollapseReason(file_name, *previous, data_lines, max_drop_percent_)) {
    verdict.reason = std::move(*reason);
    verdict.publish = publish_anyway_;
  }
  return verdict;
}

void PublicationGuard::RecordUpload(const std::string& file_name, long long data_lines) {
  Json counts = ReadCounts(path_);
  if (!counts[run_].is_object()) counts[run_] = Json::object();
  counts[run_][file_name] = data_lines;
  ReplaceFileAtomically(path_, counts.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

}  // namespace et
