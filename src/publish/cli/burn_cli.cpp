// kvd_cd's drives and burn commands: the drive list, and an image burned with its progress on a terminal.
#include "publish/cli/burn_cli.h"

#include <QCommandLineParser>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "publish/disc/burn.h"
#include "publish/cli/cli_output.h"

namespace burn_cli {

namespace {

using namespace cli;


int Usage(const QString& message) {
    Err("kvd_cd: " + Bytes(message) + "\nTry 'kvd_cd --help'.\n");
    return kCouldNotRun;
}

// "/dev/sr0: HL-DT-ST DVDRAM GH24NSD1: DVD+RW, blank, rewritable, 4,700,372,992 bytes free, 2x 4x 8x"
std::string DriveLine(const publish::DriveInfo& drive) {
    const std::string name = drive.vendor + (drive.vendor.empty() || drive.product.empty() ? "" : " ") + drive.product;
    std::string line = drive.address + ": " + (name.empty() ? "" : name + ": ");
    if (drive.state == publish::DiscState::None) return line + "no disc\n";
    line += (drive.mediumType.empty() ? std::string("disc") : drive.mediumType) + ", " +
            publish::DiscStateName(drive.state) + (drive.rewritable ? ", rewritable" : ", write-once");
    if (drive.capacity > 0) line += ", " + Grouped(drive.capacity) + " bytes free";
    if (!drive.speeds.empty()) {
        line += ",";
        for (const int speed : drive.speeds)
            line += " " + std::to_string(speed) + "x";
    }
    return line + "\n";
}

QJsonObject DriveJson(const publish::DriveInfo& drive) {
    QJsonObject item;
    item["address"] = Text(drive.address);
    item["vendor"] = Text(drive.vendor);
    item["product"] = Text(drive.product);
    if (drive.state == publish::DiscState::None) {
        item["disc"] = QJsonValue(QJsonValue::Null);
        return item;
    }
    QJsonObject disc;
    disc["type"] = Text(drive.mediumType);
    disc["state"] = QString::fromLatin1(publish::DiscStateName(drive.state));
    disc["rewritable"] = drive.rewritable;
    disc["capacity"] = static_cast<qint64>(drive.capacity);
    QJsonArray speeds;
    for (const int speed : drive.speeds)
        speeds.append(speed);
    disc["speeds"] = speeds;
    item["disc"] = disc;
    return item;
}

int Drives(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help({"h", "help"}, "Displays this help.");
    const QCommandLineOption json("json", "Writes the drives as one JSON object.");
    parser.addOption(help);
    parser.addOption(json);
    parser.addPositionalArgument("DRIVE", "A drive to look at instead of all (a device or stdio:FILE).", "[DRIVE...]");
    QStringList withName = arguments;
    withName.prepend("kvd_cd");
    if (!parser.parse(withName)) return Usage(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text = "Usage: kvd_cd drives [options] [DRIVE...]" + text.mid(text.indexOf('\n'));
        Out(Bytes(text));
        return kClean;
    }
    std::vector<publish::DriveInfo> drives;
    if (parser.positionalArguments().isEmpty()) {
        drives = publish::ListDrives();
    } else {
        for (const QString& address : parser.positionalArguments())
            drives.push_back(publish::InspectDrive(Bytes(address)));
    }
    if (parser.isSet(json)) {
        QJsonArray list;
        for (const publish::DriveInfo& drive : drives)
            list.append(DriveJson(drive));
        QJsonObject root;
        root["drives"] = list;
        Out(QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString());
    } else {
        for (const publish::DriveInfo& drive : drives)
            Out(DriveLine(drive));
    }
    if (drives.empty()) {
        Err("kvd_cd: no optical drive found.\n");
        return kProblems;
    }
    return kClean;
}

// Draws a bar on a terminal; elsewhere (a log, a pipe) one plain line per tenth of each phase.
class BurnReport {
public:
    explicit BurnReport(std::function<bool()> interrupted)
        : interrupted_(std::move(interrupted)), terminal_(isatty(STDERR_FILENO) == 1) {}

    bool operator()(const publish::BurnProgress& now) {
        if (interrupted_()) return false;
        const int percent = now.total == 0 ? 100 : static_cast<int>(now.done * 100 / now.total);
        const bool newPhase = now.phase != phase_;
        if (newPhase) {
            Finish();
            phase_ = now.phase;
            lastPercent_ = -1;
        }
        const char* name = publish::BurnPhaseName(now.phase);
        std::string amount;
        if (now.phase != publish::BurnPhase::Blanking) {
            amount = Megabytes(static_cast<double>(now.done)) + " of " + Megabytes(static_cast<double>(now.total));
            if (now.bytesPerSecond > 0) amount += ", " + Megabytes(now.bytesPerSecond) + "/s";
        }
        if (terminal_) {
            const auto clock = std::chrono::steady_clock::now();
            if (!newPhase && percent == lastPercent_ && clock - lastDraw_ < std::chrono::milliseconds(200)) return true;
            lastDraw_ = clock;
            constexpr int kWidth = 40;
            const int filled = percent * kWidth / 100;
            const std::string bar =
                std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kWidth - filled), '-');
            char line[200];
            std::snprintf(line, sizeof line, "\r%-9s [%s] %3d%%  %s", name, bar.c_str(), percent, amount.c_str());
            Err(std::string(line) + "\033[K");
            drawn_ = true;
        } else if (lastPercent_ < 0 || percent / 10 > lastPercent_ / 10) {
            Err(std::string(name) + ": " + std::to_string(percent) + "%" + (amount.empty() ? "" : " (" + amount + ")") +
                "\n");
        }
        lastPercent_ = percent;
        return !interrupted_();
    }

    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish() {
        if (drawn_) Err("\n");
        drawn_ = false;
    }

private:
    std::function<bool()> interrupted_;
    bool terminal_;
    bool drawn_ = false;
    int lastPercent_ = -1;
    publish::BurnPhase phase_ = publish::BurnPhase::Writing;
    std::chrono::steady_clock::time_point lastDraw_;
};

int Burn(const QStringList& arguments, const std::function<bool()>& interrupted) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Burns the disc image IMAGE to the disc in a drive, then reads it back.");
    const QCommandLineOption help({"h", "help"}, "Displays this help.");
    const QCommandLineOption drive("drive",
                                   "The drive: a device such as /dev/sr0, or stdio:FILE to write a file "
                                   "(default: the only optical drive).",
                                   "DRIVE");
    const QCommandLineOption speed("speed", "The write speed as a multiple of the disc's 1x (default: the best).", "N");
    const QCommandLineOption blank(
        "blank", "Blanks a rewritable disc that holds data first, erasing it (empties a stdio: file that holds data).");
    const QCommandLineOption noVerify("no-verify", "Does not read the disc back after writing.");
    const QCommandLineOption eject("eject", "Ejects the disc at the end.");
    parser.addOptions({help, drive, speed, blank, noVerify, eject});
    parser.addPositionalArgument("IMAGE", "The disc image to burn.");
    QStringList withName = arguments;
    withName.prepend("kvd_cd");
    if (!parser.parse(withName)) return Usage(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text = "Usage: kvd_cd burn [options] IMAGE" + text.mid(text.indexOf('\n'));
        Out(Bytes(text));
        return kClean;
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1) {
        return Usage(QString("burn takes one IMAGE, not %1 arguments.").arg(positional.size()));
    }
    publish::BurnOptions options;
    options.drive = Bytes(parser.value(drive));
    if (parser.isSet(speed)) {
        bool number = false;
        options.speed = parser.value(speed).toInt(&number);
        if (!number || options.speed <= 0) {
            return Usage("the speed \"" + parser.value(speed) + "\" is not a whole number above 0.");
        }
    }
    options.blank = parser.isSet(blank);
    options.verify = !parser.isSet(noVerify);
    options.eject = parser.isSet(eject);
    BurnReport report(interrupted);
    options.progress = [&report](const publish::BurnProgress& now) { return report(now); };

    publish::BurnResult result;
    try {
        result = publish::BurnImage(Bytes(positional[0]), options);
    } catch (const publish::BurnError& error) {
        report.Finish();
        const bool hint = error.Failure() == publish::BurnFailure::NeedsBlanking;
        Err(std::string("kvd_cd: ") + error.what() + (hint ? " (--blank allows it)" : "") + "\n");
        return kCouldNotRun;
    }
    report.Finish();
    switch (result.outcome) {
    case publish::BurnOutcome::Cancelled:
        Err("kvd_cd: interrupted. " + result.message + "\n");
        return kInterrupted;
    case publish::BurnOutcome::VerifyFailed:
        Out(result.message + "\n");
        return kProblems;
    case publish::BurnOutcome::Verified:
    case publish::BurnOutcome::Written:
        break;
    }
    Out(result.message + "\n");
    return kClean;
}

} // namespace

int Run(const QString& command, const QStringList& arguments, const std::function<bool()>& interrupted) {
    return command == "drives" ? Drives(arguments) : Burn(arguments, interrupted);
}

} // namespace burn_cli
