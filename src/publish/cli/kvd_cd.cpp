// kvd_cd: checks a project folder for the disc, writes its CD image and burns it, for scripted builds.
// Results go to standard output, messages to standard error; exit 0 clean, 1 problems found, 2 could not run.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

#include "publish/cli/burn_cli.h"
#include "publish/cli/cli_output.h"
#include "publish/disc/disc_reader.h"
#include "publish/publish.h"

namespace {

using namespace cli;

// The check reads pages on several threads, and the signal may arrive on any of them.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void OnInterrupt(int) { interrupted = true; }

// The first Ctrl-C asks the work to stop at its next progress report, so that the temporary image
// is removed; a second one ends the program at once. A closed terminal (SIGHUP) and kill (SIGTERM) stop it
// the same way.
void CatchInterrupt() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A pipe reading our messages may close with the terminal; its write then fails instead of ending the
    // program halfway through an image.
    signal(SIGPIPE, SIG_IGN);
}


// One code point of UTF-8 at text[i] and its length; 0 when the bytes there are not well-formed UTF-8.
size_t Utf8Length(const std::string& text, size_t i, uint32_t* cp) {
    const auto c = static_cast<unsigned char>(text[i]);
    const int extra = c < 0x80                 ? 0
                      : c >= 0xC2 && c <= 0xDF ? 1
                      : c >= 0xE0 && c <= 0xEF ? 2
                      : c >= 0xF0 && c <= 0xF4 ? 3
                                               : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= text.size()) return 0;
    uint32_t value = extra == 0 ? c : c & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k) {
        const auto d = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
        if ((d & 0xC0) != 0x80) return 0;
        value = (value << 6) | (d & 0x3Fu);
    }
    static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (value < kMin[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *cp = value;
    return static_cast<size_t>(extra) + 1;
}

bool IsUtf8(const std::string& text) {
    uint32_t cp = 0;
    for (size_t i = 0, n = 0; i < text.size(); i += n)
        if ((n = Utf8Length(text, i, &cp)) == 0) return false;
    return true;
}

// Names come from the folder and may hold anything. In the text output every line is one finding, so
// control characters (and the line and paragraph separators), a backslash, and bytes that are not UTF-8
// are written as escapes: \n, \r, \t, \\, \xHH for a byte, \uHHHH for a character.
std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    char hex[12];
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = Utf8Length(text, i, &cp);
        if (n == 0) {
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[i]));
            out += hex;
            ++i;
            continue;
        }
        if (cp == '\n') {
            out += "\\n";
        } else if (cp == '\r') {
            out += "\\r";
        } else if (cp == '\t') {
            out += "\\t";
        } else if (cp == '\\') {
            out += "\\\\";
        } else if (cp < 0x20 || cp == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02X", cp);
            out += hex;
        } else if ((cp >= 0x80 && cp < 0xA0) || cp == 0x2028 || cp == 0x2029) {
            std::snprintf(hex, sizeof hex, "\\u%04X", cp);
            out += hex;
        } else {
            out.append(text, i, n);
        }
        i += n;
    }
    return out;
}

// "error: sub/a.htm:12: The target "sub/x.htm" does not exist. (reference "x.htm") [missing-target]"
// The kind in brackets lets a script or a reader look the finding up; the file part is left out for findings
// about the folder as a whole.
std::string FindingLine(const publish::Finding& finding) {
    std::string line = publish::SeverityName(finding.severity);
    line += ": ";
    if (!finding.file.empty()) {
        line += Escaped(finding.file);
        if (finding.line > 0) {
            line += ':';
            line += std::to_string(finding.line);
        }
        line += ": ";
    }
    line += Escaped(finding.message);
    if (finding.reference && finding.message.find("\"" + *finding.reference + "\"") == std::string::npos) {
        line += " (reference \"" + Escaped(*finding.reference) + "\")";
    }
    line += " [" + finding.kind + "]\n";
    return line;
}

std::string SummaryText(const publish::CheckResult& result, publish::Medium medium) {
    std::string text = publish::SummaryLine(result);
    if (result.mediumBytes > 0) {
        const uint64_t percent = (result.imageBytes * 100 + result.mediumBytes - 1) / result.mediumBytes;
        text += "; image " + Megabytes(static_cast<double>(result.imageBytes)) + " (" + Grouped(result.imageBytes) + " bytes), " +
                std::to_string(percent) + "% of " + publish::MediumDescription(medium);
    }
    return text + "\n";
}

QString Base64(const std::string& bytes) {
    return QString::fromLatin1(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64());
}

QJsonDocument FindingsJson(const publish::CheckResult& result) {
    QJsonArray findings;
    for (const publish::Finding& finding : result.findings) {
        QJsonObject item;
        item["severity"] = QString::fromLatin1(publish::SeverityName(finding.severity));
        item["kind"] = Text(finding.kind);
        item["file"] = Text(finding.file);
        item["line"] = finding.line > 0 ? QJsonValue(finding.line) : QJsonValue(QJsonValue::Null);
        item["reference"] = finding.reference ? QJsonValue(Text(*finding.reference)) : QJsonValue(QJsonValue::Null);
        item["message"] = Text(finding.message);
        // JSON text is Unicode: a name that is not UTF-8 loses bytes on the way in, so its bytes come along
        // as well, for a script to find the file again.
        if (!IsUtf8(finding.file)) item["file_base64"] = Base64(finding.file);
        if (finding.reference && !IsUtf8(*finding.reference)) item["reference_base64"] = Base64(*finding.reference);
        findings.append(item);
    }
    QJsonObject root;
    root["errors"] = result.errors;
    root["warnings"] = result.warnings;
    root["notes"] = result.notes;
    root["findings"] = findings;
    return QJsonDocument(root);
}

// Draws a bar on a terminal; elsewhere (a log, a pipe) one plain line per tenth of the work.
class ProgressReport {
public:
    ProgressReport() : terminal_(isatty(STDERR_FILENO) == 1) {}

    bool operator()(uint64_t done, uint64_t total) {
        if (interrupted) return false;
        const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
        if (terminal_) {
            const auto now = std::chrono::steady_clock::now();
            if (percent == lastPercent_ && now - lastDraw_ < std::chrono::milliseconds(200)) return true;
            lastDraw_ = now;
            constexpr int kWidth = 40;
            const int filled = percent * kWidth / 100;
            const std::string bar =
                std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(kWidth - filled), '-');
            char line[160];
            std::snprintf(line, sizeof line, "\rwriting [%s] %3d%%  %s of %s", bar.c_str(), percent,
                          Megabytes(static_cast<double>(done)).c_str(), Megabytes(static_cast<double>(total)).c_str());
            Err(std::string(line) + "\033[K");
            drawn_ = true;
        } else if (percent / 10 > lastPercent_ / 10 || lastPercent_ < 0) {
            Err("writing: " + std::to_string(percent) + "% (" + Grouped(done) + " of " + Grouped(total) + " bytes)\n");
        }
        lastPercent_ = percent;
        return !interrupted;
    }

    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish() {
        if (drawn_) Err("\n");
        drawn_ = false;
    }

private:
    bool terminal_;
    bool drawn_ = false;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point lastDraw_;
};

int Usage(const QString& message) {
    Err("kvd_cd: " + Bytes(message) + "\nTry 'kvd_cd --help'.\n");
    return kCouldNotRun;
}

const char kMainHelp[] =
    "Usage: kvd_cd COMMAND [options] ...\n"
    "Checks a project folder for the disc and writes its CD image.\n"
    "\n"
    "Commands:\n"
    "  check [--first-page NAME] [--medium cd|dvd|dvd-dl] [--json] FOLDER\n"
    "        Lists what would keep the disc from working: missing pages and pictures, links that leave\n"
    "        the folder, names the disc cannot carry, an image too big for the medium, and what the\n"
    "        Windows viewer's engine cannot show or run in the pages, style sheets and scripts.\n"
    "        Given an image file instead of a folder, checks the disc as a reader on Windows sees it:\n"
    "        its Joliet names, the first page from its autorun.inf.\n"
    "  image [--label LABEL] [--medium M] [--first-page NAME] [--force] FOLDER OUTPUT\n"
    "        Checks the folder, then writes its ISO 9660 image (Joliet and Rock Ridge) to OUTPUT.\n"
    "        With an error in the check nothing is written unless --force is given.\n"
    "  drives [--json] [DRIVE...]\n"
    "        Lists the optical drives and the disc in each (or only the drives named, such as stdio:FILE).\n"
    "  burn [--drive DRIVE] [--speed N] [--blank] [--no-verify] [--eject] IMAGE\n"
    "        Burns the image to the disc in the drive as one closed session, then reads it back.\n"
    "        Exit status 0 burned and verified, 1 a sector read back differs, 2 could not burn.\n"
    "\n"
    "Run 'kvd_cd COMMAND --help' for the options of a command.\n"
    "\n"
    "Exit status: 0 no error found (or the image written), 1 errors found (no image written),\n"
    "2 could not run (bad arguments, no such folder, the image could not be written),\n"
    "130 interrupted (image leaves no file behind; burn leaves on the disc what it wrote so far).\n"
    "\n"
    "Options:\n"
    "  -h, --help     Displays this help.\n"
    "  -v, --version  Displays version information.\n";

struct CommandLine {
    QString folder;
    QString output;
    QString firstPage;
    QString label;
    publish::Medium medium = publish::Medium::CD;
    bool json = false;
    bool force = false;
};

// Parses the options of one command; returns an exit status when the program should end here.
std::optional<int> ParseCommand(const QString& command, const QStringList& arguments, CommandLine* line) {
    const bool image = command == "image";
    QCommandLineParser parser;
    parser.setApplicationDescription(image ? "Checks the project folder, then writes its CD image to OUTPUT."
                                           : "Checks the project folder for the disc.");
    const QCommandLineOption help({"h", "help"}, "Displays this help.");
    const QCommandLineOption firstPage("first-page", "The first page (default: line 1 of the folder's kvd.cfg).",
                                       "NAME");
    const QCommandLineOption medium("medium",
                                    "The disc the image must fit on: cd (700 MB, the default), "
                                    "dvd (4.7 GB) or dvd-dl (8.5 GB).",
                                    "M");
    const QCommandLineOption json("json", "Writes the findings as one JSON object.");
    const QCommandLineOption label("label", "The volume label (default: the folder's name in capitals).", "LABEL");
    const QCommandLineOption force("force", "Writes the image even when the check finds errors.");
    parser.addOption(help);
    parser.addOption(firstPage);
    parser.addOption(medium);
    if (image) {
        parser.addOption(label);
        parser.addOption(force);
    } else {
        parser.addOption(json);
    }
    parser.addPositionalArgument("FOLDER", "The project folder.");
    if (image) parser.addPositionalArgument("OUTPUT", "The image file to write.");

    QStringList withName = arguments;
    withName.prepend("kvd_cd");
    if (!parser.parse(withName)) return Usage(parser.errorText());
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        // The parser names the program alone; the command belongs in the usage line too.
        const qsizetype end = text.indexOf('\n');
        const QString usage =
            image ? "Usage: kvd_cd image [options] FOLDER OUTPUT" : "Usage: kvd_cd check [options] FOLDER";
        text = usage + text.mid(end);
        Out(Bytes(text));
        return kClean;
    }
    const QStringList positional = parser.positionalArguments();
    const qsizetype wanted = image ? 2 : 1;
    if (positional.size() != wanted) {
        return Usage(QString("%1 takes %2, not %3 arguments.")
                         .arg(command, image ? "a FOLDER and an OUTPUT" : "one FOLDER")
                         .arg(positional.size()));
    }
    line->folder = positional[0];
    if (image) line->output = positional[1];
    line->firstPage = parser.value(firstPage);
    if (parser.isSet(medium)) {
        const auto parsed = publish::ParseMedium(Bytes(parser.value(medium)));
        if (!parsed) return Usage("unknown medium \"" + parser.value(medium) + "\" (cd, dvd or dvd-dl).");
        line->medium = *parsed;
    }
    if (image) {
        line->label = parser.value(label);
        line->force = parser.isSet(force);
    } else {
        line->json = parser.isSet(json);
    }
    // check takes a disc image too, told from a folder by being a file.
    if (!QFileInfo(line->folder).isDir() && (image || !QFileInfo(line->folder).isFile())) {
        Err("kvd_cd: no such folder: " + Bytes(line->folder) + "\n");
        return kCouldNotRun;
    }
    return std::nullopt;
}

publish::CheckResult RunCheck(const CommandLine& line) {
    publish::CheckOptions options;
    options.firstPage = Bytes(line.firstPage);
    options.medium = line.medium;
    options.label = Bytes(line.label);
    options.progress = [](uint64_t, uint64_t) { return !interrupted; };
    if (publish::IsImageFile(Bytes(line.folder))) return publish::CheckImage(Bytes(line.folder), options);
    return publish::CheckProject(Bytes(line.folder), options);
}

void PrintFindings(const publish::CheckResult& result, publish::Medium medium) {
    for (const publish::Finding& finding : result.findings)
        Out(FindingLine(finding));
    Out(SummaryText(result, medium));
}

int Check(const CommandLine& line) {
    const publish::CheckResult result = RunCheck(line);
    if (line.json) {
        Out(FindingsJson(result).toJson(QJsonDocument::Indented).toStdString());
    } else {
        PrintFindings(result, line.medium);
    }
    return result.errors > 0 ? kProblems : kClean;
}

int Image(const CommandLine& line) {
    publish::CheckImageOutput(Bytes(line.output));
    const publish::CheckResult result = RunCheck(line);
    PrintFindings(result, line.medium);
    if (result.errors > 0 && !line.force) {
        Err("kvd_cd: no image written: the check found " + std::to_string(result.errors) +
            (result.errors == 1 ? " error" : " errors") + " (--force writes the image anyway).\n");
        return kProblems;
    }
    ProgressReport report;
    publish::ImageOptions options;
    options.label = Bytes(line.label);
    options.progress = [&report](uint64_t done, uint64_t total) { return report(done, total); };
    const std::string output = Bytes(line.output);
    uint64_t size = 0;
    try {
        size = publish::WriteImage(Bytes(line.folder), output, options);
    } catch (...) {
        report.Finish();
        throw;
    }
    report.Finish();
    const std::string shown = Bytes(QFileInfo(line.output).absoluteFilePath());
    Out("wrote " + shown + ": " + Grouped(size) + " bytes (" + Megabytes(static_cast<double>(size)) + ")\n");
    return kClean;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName("kvd_cd");
    QCoreApplication::setApplicationVersion(KVD_VERSION);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    // The command comes first; options before it are only --help and --version.
    if (arguments.isEmpty()) {
        Err(std::string(kMainHelp));
        return kCouldNotRun;
    }
    const QString first = arguments.first();
    if (first == "-h" || first == "--help" || first == "help") {
        Out(kMainHelp);
        return kClean;
    }
    if (first == "-v" || first == "--version") {
        Out("kvd_cd " KVD_VERSION "\n");
        return kClean;
    }
    if (first == "drives" || first == "burn") {
        arguments.removeFirst();
        CatchInterrupt();
        try {
            return burn_cli::Run(first, arguments, [] { return interrupted.load(); });
        } catch (const std::exception& e) {
            Err(std::string("kvd_cd: ") + e.what() + "\n");
            return kCouldNotRun;
        }
    }
    if (first != "check" && first != "image") {
        return Usage(first.startsWith('-') ? "unknown option \"" + first + "\"; the command comes first."
                                           : "unknown command \"" + first + "\" (check, image, drives or burn).");
    }
    arguments.removeFirst();
    CommandLine line;
    if (const auto status = ParseCommand(first, arguments, &line)) return *status;

    CatchInterrupt();
    try {
        return first == "check" ? Check(line) : Image(line);
    } catch (const publish::Cancelled&) {
        Err("kvd_cd: interrupted; nothing was written.\n");
        return kInterrupted;
    } catch (const std::exception& e) {
        Err(std::string("kvd_cd: ") + e.what() + "\n");
        return kCouldNotRun;
    }
}
