// The commissioning report as an A4 PDF made with Qt's PDF writer. Runs
// without a display: when the program has no QGuiApplication yet, one is
// made on Qt's offscreen platform, whatever the environment says.
#pragma once

#include <string>

#include "report/ReportData.h"

namespace dqreport {

// Writes the report to `path` (atomically: the old file stays whole until
// the new one is complete). The watch log named in `data` is read here.
// False with `why` (UTF-8) when a file cannot be read or written; nothing
// is written then.
bool WriteReportPdf(const ReportData& data, const std::string& path, std::string* why);
// The same drawn into `pdf` only, for a caller that may still decide
// against writing it.
bool DrawReportPdf(const ReportData& data, std::string& pdf, std::string* why);

}  // namespace dqreport
