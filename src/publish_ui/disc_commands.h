// The window's disc commands, Check Project and Make CD Image, on a project folder given as a host path.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "publish/publish.h"

class QWidget;

namespace publish_ui {

// The check on a worker thread; the progress dialog shows only when it takes a while. Nothing when cancelled.
std::optional<publish::CheckResult> CheckBehindProgress(QWidget* parent, const std::string& hostFolder,
                                                        const publish::CheckOptions& options);

// The image on a worker thread behind a progress dialog with Cancel; the size written, or nothing when
// cancelled (then no file is left and an existing one is untouched). Failures throw publish::Error.
std::optional<uint64_t> WriteImageBehindProgress(QWidget* parent, const std::string& hostFolder,
                                                 const std::string& output, const publish::ImageOptions& options);

// Check Project: checks the folder with that first page and shows the findings.
void CheckProject(QWidget* parent, const std::string& hostFolder, const std::string& firstPage);

// Make CD Image: asks for the label, the medium and the file, checks (with errors it shows them and asks
// whether to go on), writes the image and reports its path and size.
void MakeCDImage(QWidget* parent, const std::string& hostFolder, const std::string& firstPage);

} // namespace publish_ui
