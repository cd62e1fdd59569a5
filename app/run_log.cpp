#include "app/export_totale_form.h"
#include "platform/paths.h"
#include "platform/text_file.h"

namespace et {

// One line per recorded event: date, a blank, time, two blanks, the message.
// Every call opens, writes and closes the file, so a line is on disk as soon
// as the call returns.
void TExportTotaleForm::AppendLog(const std::string& Log) {
  if (PercorsoFile.empty()) return;
  const std::string file = WithTrailingSeparator(PercorsoFile) + "logQuorvandelix.txt";
  TextFileWriter writer(file, TextFileWriter::Mode::kAppend);
  const std::string data = FormatShortDate(ambiente_.clock.Now(), ambiente_.regional) + " ";
  const std::string ora = FormatLongTime(ambiente_.clock.Now(), ambiente_.regional);
  writer.WriteLine(data + ora + "  " + Log);
  writer.Close();
}

}  // namespace et
