// The findings of the disc check: the summary line and a sortable table.
#pragma once

#include <QDialog>
#include <QString>

#include "publish/publish.h"

class QLabel;
class QTableWidget;

namespace publish_ui {

// "2 errors, 1 warning, no notes; image 12.3 MB (2% of CD 700 MB)".
QString CheckSummary(const publish::CheckResult& result, publish::Medium medium);

// The text of the Problem column: the sentence, with the reference as written when the sentence leaves it out.
QString ProblemText(const publish::Finding& finding);

class CheckDialog : public QDialog {
    Q_OBJECT
public:
    enum class Mode {
        Show,     // the findings and a Close button
        AskToGoOn // the findings and the question whether to make the image all the same
    };
    // The table's columns.
    enum Column { kSeverity, kFile, kLine, kProblem, kColumns };

    CheckDialog(const publish::CheckResult& result, publish::Medium medium, const QString& folder, Mode mode,
                QWidget* parent = nullptr);

    QLabel* Summary() const { return summary_; }
    QTableWidget* Table() const { return table_; }

private:
    void Fill(const publish::CheckResult& result);

    QLabel* summary_ = nullptr;
    QTableWidget* table_ = nullptr;
};

} // namespace publish_ui
