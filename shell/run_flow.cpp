#include "run_flow.hpp"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "file_edit.hpp"
#include "messages.hpp"
#include "platform/console.hpp"

namespace {

constexpr MessageId NO_MESSAGE = MESSAGE_COUNT;

// Prints catalogue text with each "%s" replaced by the next insert (a path,
// a name, a number). A text whose slot lies past the piece buffer is printed
// as it is.
void printWith(const char* text, std::initializer_list<const char*> inserts) {
    const char* const* next = inserts.begin();
    for (const char* slot = std::strstr(text, "%s"); slot != nullptr && next != inserts.end();
         slot = std::strstr(text, "%s")) {
        char piece[256];
        const std::size_t length = static_cast<std::size_t>(slot - text);
        if (length >= sizeof piece) {
            break;
        }
        std::memcpy(piece, text, length);
        piece[length] = '\0';
        printText(piece);
        printPath(*next++);
        text = slot + 2;
    }
    printText(text);
}

void printMessage(MessageId id, std::initializer_list<const char*> inserts = {}) {
    printWith(MESSAGE_TEXT[id], inserts);
}

void printBanner(const char* title) {
    printPath(title);
    printText(BANNER_TITLE_TAIL);
    printText(BANNER_NOTICE);
}

bool isOneOf(const char* word, std::initializer_list<const char*> words) {
    for (const char* candidate : words) {
        if (std::strcmp(word, candidate) == 0) {
            return true;
        }
    }
    return false;
}

bool hasFontExtension(const char* path) {
    const std::size_t length = std::strlen(path);
    if (length < 4 || path[length - 4] != '.') {
        return false;
    }
    char extension[4] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        const char c = path[length - 3 + i];
        extension[i] = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return isOneOf(extension, {"ttf", "otf", "ttc"});
}

// What became of one argument, and what the user is told of it: the verdict
// or why it failed, then a line that explains it (NO_MESSAGE for none).
struct FileResult {
    Outcome outcome;
    MessageId message;
    MessageId detail;
    unsigned long code;  // the platform's error number, for MSG_REASON_OTHER
};

MessageId reasonFor(OpenError error) {
    switch (error) {
        case OpenError::NotFound:
            return MSG_REASON_NOT_FOUND;
        case OpenError::NotRegularFile:
            return MSG_REASON_NOT_REGULAR;
        case OpenError::InUse:
            return MSG_REASON_IN_USE;
        case OpenError::ReadOnly:
            return MSG_REASON_READ_ONLY;
        case OpenError::TimesNotOurs:
            return MSG_REASON_TIMES_NOT_OURS;
        case OpenError::AccessDenied:
            return MSG_REASON_ACCESS_DENIED;
        case OpenError::None:
        case OpenError::Other:
            break;
    }
    return MSG_REASON_OTHER;
}

// The line after "finished": an interrupted rename completed, or, when
// nothing was written, that the file is as it was.
MessageId detailOfFinished(Verdict verdict, FinishStatus status) {
    if (verdict == Verdict::Completed) {
        return MSG_COMPLETED;
    }
    if (status != FinishStatus::Unchanged) {
        return NO_MESSAGE;
    }
    return verdict == Verdict::NoNamesFound ? MSG_NOTHING_CHANGED_NO_NAMES : MSG_NOTHING_CHANGED;
}

// Opens, edits and finishes one file. The file is closed, and its times are
// back, before this returns: nobody waits on our prompt to use the file.
// The target line is printed once the file is open, when announce is set.
FileResult editOneFile(const char* path, Engine engine, bool announce) {
    EditStream stream;
    FileTimes times{};
    const OpenResult opened = openForEdit(path, stream, times);
    if (opened.error != OpenError::None) {
        return {OUTCOME_CANNOT_OPEN, MSG_CANNOT_OPEN, reasonFor(opened.error), opened.code};
    }
    if (announce) {
        printMessage(MSG_TARGET, {path});
    }
    const EngineResult result = engine(stream);
    const FinishStatus status = result.finish ? finishEdit(stream, times) : abandonEdit(stream);
    switch (status) {
        case FinishStatus::LeftAsItWas:
            return {OUTCOME_CANNOT_WRITE, MSG_CANNOT_WRITE, NO_MESSAGE, 0};
        case FinishStatus::TimesNotKept:
            return {OUTCOME_TIMES_LOST, MSG_TIMES_NOT_KEPT, NO_MESSAGE, 0};
        case FinishStatus::PartlyRenamed:
            return {OUTCOME_PARTLY_RENAMED, MSG_PARTLY_RENAMED, NO_MESSAGE, 0};
        case FinishStatus::Renamed:
        case FinishStatus::Unchanged:
            break;
    }
    // Whether the file changed is the edit's to say; the verdict is what the
    // engine found (Velnari says "finished" after a file with no names).
    const Outcome outcome = status == FinishStatus::Renamed ? OUTCOME_RENAMED : OUTCOME_UNCHANGED;
    if (result.verdict == Verdict::NotRecognised) {
        return {outcome, MSG_NOT_RECOGNISED, NO_MESSAGE, 0};
    }
    return {outcome, MSG_FINISHED, detailOfFinished(result.verdict, status), 0};
}

void printResult(const FileResult& result) {
    printMessage(result.message);
    if (result.detail != NO_MESSAGE) {
        char code[24];
        std::snprintf(code, sizeof code, "%lu", result.code);
        printMessage(result.detail, {code});
    }
}

// A failure says why, and waits so that a person at the console sees it,
// batch or not. A batch run whose input is no terminal has nobody at the
// console: it ends at once and leaves a script's input to the script.
int endWithFailure(const FileResult& result, bool batch) {
    printResult(result);
    if (!batch || inputIsInteractive()) {
        waitForEnter();
    }
    return result.outcome;
}

// Each argument in turn, each font with its own time-keeping edit; a failure
// on one does not stop the others. Anything without a font's name is not
// opened at all. One summary and one prompt at the end.
int editSeveral(int argc, char** argv, Engine engine) {
    int worst = OUTCOME_RENAMED;
    unsigned renamed = 0;
    unsigned unchanged = 0;
    unsigned failed = 0;
    for (int i = 1; i < argc; ++i) {
        printMessage(MSG_TARGET, {argv[i]});
        const FileResult result = hasFontExtension(argv[i])
                                      ? editOneFile(argv[i], engine, false)
                                      : FileResult{OUTCOME_UNCHANGED, MSG_SKIPPED, NO_MESSAGE, 0};
        printResult(result);
        worst = result.outcome > worst ? result.outcome : worst;
        if (result.outcome == OUTCOME_RENAMED || result.outcome == OUTCOME_TIMES_LOST) {
            ++renamed;
        } else if (result.outcome == OUTCOME_UNCHANGED) {
            ++unchanged;
        } else {
            ++failed;
        }
    }
    char counts[3][16];
    std::snprintf(counts[0], sizeof counts[0], "%u", renamed);
    std::snprintf(counts[1], sizeof counts[1], "%u", unchanged);
    std::snprintf(counts[2], sizeof counts[2], "%u", failed);
    printMessage(MSG_SUMMARY, {counts[0], counts[1], counts[2]});
    waitForEnter();
    return worst;
}

int runOne(const char* path, Engine engine, bool batch) {
    const FileResult result = editOneFile(path, engine, !batch);
    if (result.outcome >= OUTCOME_CANNOT_OPEN) {
        return endWithFailure(result, batch);
    }
    if (!batch) {
        printResult(result);
        waitForEnter();
    }
    return result.outcome;
}

int sayNoFile(const char* title) {
    printMessage(MSG_NO_FILE);
    for (const char* line : NO_FILE_HINT_LINES) {
        printWith(line, {title});
    }
    waitForEnter();
    return OUTCOME_CANNOT_OPEN;
}

}  // namespace

RunMode decideRunMode(int argc, char** argv) {
    if (argc < 2) {
        return RunMode::NoFile;
    }
    if (argc == 2) {
        if (pathExists(argv[1])) {
            return RunMode::OneFile;
        }
        if (isOneOf(argv[1], {"/?", "-?", "-h", "--help"})) {
            return RunMode::Usage;
        }
        return std::strcmp(argv[1], "--version") == 0 ? RunMode::Version : RunMode::OneFile;
    }
    for (int i = 2; i < argc; ++i) {
        if (!pathExists(argv[i]) && !hasFontExtension(argv[i])) {
            return RunMode::Batch;
        }
    }
    return RunMode::SeveralFiles;
}

void waitForEnter() {
    printMessage(MSG_PRESS_ENTER);
    readEnter();
}

int runTool(int argc, char** argv, const char* title, Engine engine) {
    consoleInit();
    argv = commandLine(argc, argv);
    const RunMode mode = decideRunMode(argc, argv);
    switch (mode) {
        case RunMode::Usage:
            for (const char* line : USAGE_LINES) {
                printWith(line, {title});
            }
            return 0;
        case RunMode::Version:
            printWith(VERSION_LINE, {title});
            printText(COPYRIGHT_LINES);
            return 0;
        case RunMode::Batch:
            return runOne(argv[1], engine, true);
        case RunMode::NoFile:
        case RunMode::OneFile:
        case RunMode::SeveralFiles:
            break;
    }
    printBanner(title);
    if (mode == RunMode::NoFile) {
        return sayNoFile(title);
    }
    return mode == RunMode::OneFile ? runOne(argv[1], engine, false)
                                    : editSeveral(argc, argv, engine);
}
