// The run status in the Prometheus text exposition format, one file per run
// kind ("exporttotale_giacenze.prom", ...), for the node exporter's textfile
// collector, which reads every "*.prom" file of its directory at each scrape.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "status/run_record.h"

namespace et {

// "exporttotale_<run>.prom".
std::string PrometheusStatusFileName(std::string_view run);

// The exposition text of the record. `last_success` is the end of the last
// completed run in seconds since the epoch: the record's own end when it
// completed, otherwise the value given (from the previous file), 0 when
// there is none.
std::string FormatPrometheusStatus(const RunRecord& record, std::optional<double> last_success);

// The value of exporttotale_last_success_timestamp_seconds in an exposition
// text written by FormatPrometheusStatus; nullopt when it has none.
std::optional<double> ReadLastSuccess(std::string_view exposition);

// Replaces the run kind's file in `directory` atomically, keeping the last
// success of the file it replaces when this run did not complete. Raises
// IoError.
void WritePrometheusStatus(const std::string& directory, const RunRecord& record);

}  // namespace et
