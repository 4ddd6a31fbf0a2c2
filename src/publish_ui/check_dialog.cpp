// The findings of the disc check: the summary line and a sortable table.
#include "publish_ui/check_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include "framework/qt_strings.h"
#include "publish/engine/tally.h"

using framework::ToQString;

namespace publish_ui {

namespace {

constexpr int kSortKey = Qt::UserRole;
constexpr int kEngineKey = Qt::UserRole + 1; // on the severity item: the finding is the Windows viewer's

// Sorts by a number of its own (the severity's rank, the line) instead of the text it shows.
class KeyedItem : public QTableWidgetItem {
public:
    KeyedItem(const QString& text, int key) : QTableWidgetItem(text) { setData(kSortKey, key); }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(kSortKey).toInt() < other.data(kSortKey).toInt();
    }
};

QStyle::StandardPixmap SeverityIcon(publish::Severity severity) {
    switch (severity) {
    case publish::Severity::Error:
        return QStyle::SP_MessageBoxCritical;
    case publish::Severity::Warning:
        return QStyle::SP_MessageBoxWarning;
    case publish::Severity::Note:
        break;
    }
    return QStyle::SP_MessageBoxInformation;
}

QString Megabytes(uint64_t bytes) {
    return QLocale::system().toString(static_cast<double>(bytes) / (1024.0 * 1024.0), 'f', 1) + " MB";
}

} // namespace

QString CheckSummary(const publish::CheckResult& result, publish::Medium medium) {
    QString text = ToQString(publish::SummaryLine(result));
    int engine = 0;
    for (const publish::Finding& finding : result.findings)
        engine += publish::engine::IsEngineKind(finding.kind) ? 1 : 0;
    if (engine > 0) text += QString(" (%1 for the Windows viewer)").arg(engine);
    if (result.mediumBytes > 0) {
        const uint64_t percent = (result.imageBytes * 100 + result.mediumBytes - 1) / result.mediumBytes;
        text += QString("; image %1 (%2% of %3)")
                    .arg(Megabytes(result.imageBytes))
                    .arg(percent)
                    .arg(QString::fromLatin1(publish::MediumDescription(medium)));
    }
    return text;
}

QString ProblemText(const publish::Finding& finding) {
    QString text = ToQString(finding.message);
    if (finding.reference && finding.message.find("\"" + *finding.reference + "\"") == std::string::npos) {
        text += " (reference \"" + ToQString(*finding.reference) + "\")";
    }
    return text;
}

CheckDialog::CheckDialog(const publish::CheckResult& result, publish::Medium medium, const QString& folder, Mode mode,
                         QWidget* parent)
    : QDialog(parent) {
    setObjectName("CheckDialog");
    setWindowTitle(mode == Mode::Show ? tr("Check Project") : tr("Make CD Image"));
    setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    auto* folderLabel = new QLabel(tr("Project folder: %1").arg(folder), this);
    folderLabel->setObjectName("FolderLabel");
    folderLabel->setTextFormat(Qt::PlainText);
    folderLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(folderLabel);

    summary_ = new QLabel(CheckSummary(result, medium), this);
    summary_->setObjectName("SummaryLabel");
    summary_->setTextFormat(Qt::PlainText);
    QFont bold = summary_->font();
    bold.setBold(true);
    summary_->setFont(bold);
    layout->addWidget(summary_);

    // What the Windows viewer's engine lacks is read together, apart from the disc's own faults.
    auto* filterRow = new QHBoxLayout;
    auto* filterLabel = new QLabel(tr("&Show:"), this);
    filter_ = new QComboBox(this);
    filter_->setObjectName("FindingsFilter");
    filter_->addItems({tr("All findings"), tr("What the Windows viewer cannot show"), tr("Everything else")});
    filterLabel->setBuddy(filter_);
    filterRow->addWidget(filterLabel);
    filterRow->addWidget(filter_);
    filterRow->addStretch(1);
    layout->addLayout(filterRow);

    table_ = new QTableWidget(this);
    table_->setObjectName("FindingsTable");
    table_->setColumnCount(kColumns);
    table_->setHorizontalHeaderLabels({tr("Severity"), tr("File"), tr("Line"), tr("Problem")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setIconSize(QSize(16, 16));
    // Long sentences wrap inside their row, so nothing needs a tooltip to be read whole.
    table_->setWordWrap(true);
    table_->setTextElideMode(Qt::ElideNone);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    Fill(result);
    connect(filter_, &QComboBox::currentIndexChanged, this, &CheckDialog::ApplyFilter);
    connect(table_->model(), &QAbstractItemModel::layoutChanged, this, &CheckDialog::ApplyFilter);
    layout->addWidget(table_, 1);

    auto* buttons = new QDialogButtonBox(this);
    if (mode == Mode::Show) {
        buttons->addButton(QDialogButtonBox::Close);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    } else {
        const QString count = result.errors == 1 ? tr("1 error") : tr("%1 errors").arg(result.errors);
        auto* question = new QLabel(
            tr("The check found %1: the disc may not work for its readers. Make the image all the same?").arg(count),
            this);
        question->setObjectName("QuestionLabel");
        question->setWordWrap(true);
        layout->addWidget(question);
        QPushButton* goOn = buttons->addButton(tr("&Make Image Anyway"), QDialogButtonBox::AcceptRole);
        goOn->setObjectName("GoOnButton");
        buttons->addButton(QDialogButtonBox::Cancel)->setDefault(true);
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    }
    layout->addWidget(buttons);
    resize(760, 420);
}

void CheckDialog::Fill(const publish::CheckResult& result) {
    table_->setSortingEnabled(false);
    table_->setRowCount(static_cast<int>(result.findings.size()));
    int row = 0;
    for (const publish::Finding& finding : result.findings) {
        auto* severity = new KeyedItem(QString::fromLatin1(publish::SeverityName(finding.severity)),
                                       static_cast<int>(finding.severity));
        severity->setIcon(style()->standardIcon(SeverityIcon(finding.severity)));
        severity->setToolTip(ToQString(finding.kind));
        severity->setData(kEngineKey, publish::engine::IsEngineKind(finding.kind));
        auto* file = new QTableWidgetItem(finding.file.empty() ? tr("(whole folder)") : ToQString(finding.file));
        auto* line = new KeyedItem(finding.line > 0 ? QString::number(finding.line) : QString(), finding.line);
        line->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* problem = new QTableWidgetItem(ProblemText(finding));
        problem->setToolTip(ToQString(finding.kind) + ": " + ProblemText(finding));
        table_->setItem(row, kSeverity, severity);
        table_->setItem(row, kFile, file);
        table_->setItem(row, kLine, line);
        table_->setItem(row, kProblem, problem);
        ++row;
    }
    for (int column : {kSeverity, kFile, kLine})
        table_->resizeColumnToContents(column);
    table_->setColumnWidth(kFile, std::min(table_->columnWidth(kFile), 220));
    // The library's order (by file, then line) stands until the user picks a column.
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
}

void CheckDialog::ApplyFilter() {
    const int choice = filter_->currentIndex();
    for (int row = 0; row < table_->rowCount(); ++row) {
        const bool engine = table_->item(row, kSeverity)->data(kEngineKey).toBool();
        table_->setRowHidden(row, (choice == kWindowsViewer && !engine) || (choice == kOthers && engine));
    }
}

} // namespace publish_ui
