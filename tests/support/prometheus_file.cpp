#include "support/prometheus_file.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/subprocess.h"

namespace et::test {

std::optional<double> PrometheusFile::Value(
    const std::string& name, const std::map<std::string, std::string>& labels) const {
  std::optional<double> found;
  for (const PrometheusSample& s : samples) {
    if (s.name != name || s.labels != labels) continue;
    EXPECT_FALSE(found) << "two samples " << name;
    found = s.value;
  }
  return found;
}

std::vector<PrometheusSample> PrometheusFile::Samples(const std::string& name) const {
  std::vector<PrometheusSample> found;
  for (const PrometheusSample& s : samples) {
    if (s.name == name) found.push_back(s);
  }
  return found;
}

const PrometheusFamily* PrometheusFile::Family(const std::string& name) const {
  for (const PrometheusFamily& f : families) {
    if (f.name == name) return &f;
  }
  return nullptr;
}

std::optional<PrometheusFile> ParsePrometheusFile(const std::string& path) {
  const ProcessResult r =
      RunProcess("/usr/bin/python3",
                 {std::string(ET_SOURCE_DIR) + "/tests/tools/prometheus_samples.py", path});
  EXPECT_EQ(r.exit_status, 0) << "the parser refused " << path << ": " << r.err;
  if (r.exit_status != 0) return std::nullopt;
  const nlohmann::json json = nlohmann::json::parse(r.out);
  PrometheusFile file;
  for (const auto& f : json.at("families")) {
    file.families.push_back({f.at("name").get<std::string>(), f.at("type").get<std::string>(),
                             f.at("help").get<std::string>()});
  }
  for (const auto& s : json.at("samples")) {
    PrometheusSample sample;
    sample.name = s.at("name").get<std::string>();
    sample.labels = s.at("labels").get<std::map<std::string, std::string>>();
    sample.value = s.at("value").get<double>();
    file.samples.push_back(std::move(sample));
  }
  return file;
}

}  // namespace et::test
