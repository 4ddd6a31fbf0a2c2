// The findings of the disc check: the summary line and a sortable table.
#pragma once

#include <QDialog>
#include <QString>

#include "publish/publish.h"

class QComboBox;
class QLabel;
class QTableWidget;

namespace publish_ui {

// "2 errors, 1 warning, no notes; image 12.3 MB (2% of CD 700 MB)"; with findings for the Windows viewer
// "2 errors, 5 warnings, no notes (4 for the Windows viewer); image ...".
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
    // The choices of the filter above the table, in its order.
    enum Filter { kAll, kWindowsViewer, kOthers };

    CheckDialog(const publish::CheckResult& result, publish::Medium medium, const QString& folder, Mode mode,
                QWidget* parent = nullptr);

    QLabel* Summary() const { return summary_; }
    QTableWidget* Table() const { return table_; }
    QComboBox* FilterBox() const { return filter_; }

private:
    void Fill(const publish::CheckResult& result);
    // Shows the rows the filter lets through; again after a sort, which moves the rows.
    void ApplyFilter();

    QLabel* summary_ = nullptr;
    QComboBox* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
};

} // namespace publish_ui
