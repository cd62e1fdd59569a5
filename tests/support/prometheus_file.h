// A Prometheus text exposition file as a real parser reads it (Python's
// prometheus_client, run as a subprocess), for tests of the run status.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace et::test {

struct PrometheusFamily {
  std::string name;
  std::string type;
  std::string help;
};

struct PrometheusSample {
  std::string name;
  std::map<std::string, std::string> labels;
  double value = 0;
};

struct PrometheusFile {
  std::vector<PrometheusFamily> families;
  std::vector<PrometheusSample> samples;

  // The value of the one sample of that name and labels; nullopt when there
  // is none (a test failure when there are several).
  std::optional<double> Value(const std::string& name,
                              const std::map<std::string, std::string>& labels) const;
  // The samples of that name.
  std::vector<PrometheusSample> Samples(const std::string& name) const;
  const PrometheusFamily* Family(const std::string& name) const;
};

// Parses the file; fails the current test (and returns nothing) when the
// parser refuses it.
std::optional<PrometheusFile> ParsePrometheusFile(const std::string& path);

}  // namespace et::test
