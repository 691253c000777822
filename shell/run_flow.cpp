#include "run_flow.hpp"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "file_edit.hpp"
#include "messages.hpp"
#include "platform/console.hpp"

namespace {

constexpr MessageId NO_MESSAGE = MESSAGE_COUNT;

// How the inserts of a catalogue text are printed: paths and the program's
// name as they came from the command line, names of fonts and numbers as
// CP932 text, like the catalogue's.
enum class Inserts { Paths, Text };

// Prints catalogue text with each "%s" replaced by the next insert. A text
// whose slot lies past the piece buffer is printed as it is.
void printWith(const char* text, std::initializer_list<const char*> inserts,
               Inserts kind = Inserts::Paths) {
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
        if (kind == Inserts::Paths) {
            printPath(*next++);
        } else {
            printText(*next++);
        }
        text = slot + 2;
    }
    printText(text);
}

void printMessage(MessageId id, std::initializer_list<const char*> inserts = {},
                  Inserts kind = Inserts::Paths) {
    printWith(MESSAGE_TEXT[id], inserts, kind);
}

void printBanner(const char* title, Direction direction) {
    printPath(title);
    printText(BANNER_TITLE_TAIL);
    printText(direction == Direction::Revert ? BANNER_NOTICE_REVERT : BANNER_NOTICE);
}

constexpr int purposeSlots() {
    int slots = 0;
    for (const char* line : USAGE_LINES) {
        slots += line == USAGE_PURPOSE ? 1 : 0;
    }
    return slots;
}
static_assert(purposeSlots() == 2, "the usage text has one place for each language's purpose");

void printUsage(const char* title, Purpose purpose) {
    const char* const purposes[] = {purpose.japanese, purpose.english};
    const char* const* nextPurpose = purposes;
    for (const char* line : USAGE_LINES) {
        if (line == USAGE_PURPOSE) {
            printText(*nextPurpose++);
        } else {
            printWith(line, {title});
        }
    }
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
// or why it failed, then a line that explains it (NO_MESSAGE for none), and
// for a file only looked at, a last line saying that nothing was written.
struct FileResult {
    Outcome outcome;
    MessageId message;
    MessageId detail;
    unsigned long code;  // the platform's error number, for MSG_REASON_OTHER
    bool previewed;
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
        case OpenError::ReadOnlyDrive:
            return MSG_REASON_READ_ONLY_DRIVE;
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

// What the user is told of a file the edit left whole, renamed or as it was.
// A file in which a name was written is "finished", whatever the engine
// found after it (a stranger's name last): it must never be called invalid
// or renamed already. Only a file left as it was gets the engine's reason.
FileResult resultOf(Verdict verdict, bool changed) {
    if (changed) {
        const MessageId detail = verdict == Verdict::Completed ? MSG_COMPLETED : NO_MESSAGE;
        return {OUTCOME_RENAMED, MSG_FINISHED, detail, 0, false};
    }
    switch (verdict) {
        case Verdict::NotRecognised:
            return {OUTCOME_UNCHANGED, MSG_NOT_RECOGNISED, NO_MESSAGE, 0, false};
        case Verdict::NotAFont:
            return {OUTCOME_UNCHANGED, MSG_NOT_RECOGNISED, MSG_NOT_A_FONT, 0, false};
        case Verdict::ForTheOtherOne:
            return {OUTCOME_UNCHANGED, MSG_NOT_RECOGNISED, MSG_USE_VELNARI, 0, false};
        case Verdict::NoNamesFound:
            return {OUTCOME_UNCHANGED, MSG_FINISHED, MSG_NOTHING_CHANGED_NO_NAMES, 0, false};
        case Verdict::Finished:
        case Verdict::Completed:
            break;
    }
    return {OUTCOME_UNCHANGED, MSG_FINISHED, MSG_NOTHING_CHANGED, 0, false};
}

// One line for each name the engine changed (or, in a dry run, would change).
void printNameChanges(const EngineResult& result) {
    for (std::size_t i = 0; i < result.changeCount; ++i) {
        const NameChange& change = result.changes[i];
        if (change.copies == ONE_COPY) {
            printMessage(MSG_NAME_CHANGE, {change.from, change.to}, Inserts::Text);
            continue;
        }
        char copies[16];
        std::snprintf(copies, sizeof copies, "%d", change.copies);
        printMessage(MSG_NAME_COPIES, {change.from, change.to, copies}, Inserts::Text);
    }
}

// Runs the engine on a file opened only for reading and writes nothing: the
// names it would change are listed, and the result is that of the edit.
FileResult previewOneFile(EditStream& stream, const FileTimes& times, Engine engine,
                          Direction direction) {
    const EngineResult result = engine(stream, direction);
    const bool wouldChange = endPreview(stream, times);
    if (wouldChange) {
        printNameChanges(result);
    }
    FileResult previewed = resultOf(result.verdict, wouldChange);
    previewed.previewed = true;
    return previewed;
}

// Opens, edits and finishes one file (or, in a dry run, only looks). The
// file is closed, and its times are back, before this returns: nobody waits
// on our prompt to use the file. The target line is printed once the file
// is open, when announce is set; the names changed follow it when asked for.
FileResult editOneFile(const char* path, Engine engine, EditOptions options, bool announce) {
    EditStream stream;
    FileTimes times{};
    const OpenResult opened =
        options.dryRun ? openForPreview(path, stream, times) : openForEdit(path, stream, times);
    if (opened.error != OpenError::None) {
        return {OUTCOME_CANNOT_OPEN, MSG_CANNOT_OPEN, reasonFor(opened.error), opened.code, false};
    }
    if (announce) {
        printMessage(MSG_TARGET, {path});
    }
    if (options.dryRun) {
        return previewOneFile(stream, times, engine, options.direction);
    }
    const EngineResult result = engine(stream, options.direction);
    const FinishStatus status = result.finish ? finishEdit(stream, times) : abandonEdit(stream);
    const bool inTheFile = status == FinishStatus::Renamed || status == FinishStatus::TimesNotKept;
    if (options.verbose && inTheFile) {
        printNameChanges(result);
    }
    switch (status) {
        case FinishStatus::LeftAsItWas:
            return {OUTCOME_CANNOT_WRITE, MSG_CANNOT_WRITE, NO_MESSAGE, 0, false};
        case FinishStatus::TimesNotKept:
            return {OUTCOME_TIMES_LOST, MSG_TIMES_NOT_KEPT, NO_MESSAGE, 0, false};
        case FinishStatus::PartlyRenamed:
            return {OUTCOME_PARTLY_RENAMED, MSG_PARTLY_RENAMED, NO_MESSAGE, 0, false};
        case FinishStatus::Renamed:
        case FinishStatus::Unchanged:
            break;
    }
    // Whether the file changed is the edit's to say; the verdict is what the
    // engine found (Velnari says "finished" after a file with no names).
    return resultOf(result.verdict, status == FinishStatus::Renamed);
}

void printResult(const FileResult& result) {
    printMessage(result.message);
    if (result.detail != NO_MESSAGE) {
        char code[24];
        std::snprintf(code, sizeof code, "%lu", result.code);
        printMessage(result.detail, {code});
    }
    if (result.previewed) {
        printMessage(MSG_DRY_RUN);
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

// Each file in turn, each font with its own time-keeping edit; a failure on
// one does not stop the others. Anything without a font's name is not
// opened at all. One summary and one prompt at the end.
int editSeveral(const RunPlan& plan, Engine engine) {
    int worst = OUTCOME_RENAMED;
    unsigned renamed = 0;
    unsigned unchanged = 0;
    unsigned failed = 0;
    for (int i = 0; i < plan.fileCount; ++i) {
        const char* path = plan.files[i];
        printMessage(MSG_TARGET, {path});
        const FileResult result =
            hasFontExtension(path)
                ? editOneFile(path, engine, plan.options, false)
                : FileResult{OUTCOME_UNCHANGED, MSG_SKIPPED, NO_MESSAGE, 0, false};
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

int runOne(const RunPlan& plan, Engine engine, bool batch) {
    const FileResult result = editOneFile(plan.files[0], engine, plan.options, !batch);
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

// Whether the program's own file name (without its folder) holds "revert",
// in any case: a copy named Velnari-revert.exe reverts what is dropped on it.
bool nameAsksToRevert(const char* program) {
    const char* name = program;
    for (const char* c = program; *c != '\0'; ++c) {
        name = *c == '/' || *c == '\\' ? c + 1 : name;
    }
    constexpr char WORD[] = "revert";
    for (; *name != '\0'; ++name) {
        std::size_t matched = 0;
        while (WORD[matched] != '\0' && (name[matched] | 0x20) == WORD[matched]) {
            ++matched;
        }
        if (WORD[matched] == '\0') {
            return true;
        }
    }
    return false;
}

// Takes word as an option into options, if it is one.
bool takeOption(const char* word, EditOptions& options) {
    if (std::strcmp(word, "--revert") == 0) {
        options.direction = Direction::Revert;
    } else if (isOneOf(word, {"-n", "--dry-run"})) {
        options.dryRun = true;
    } else if (isOneOf(word, {"-v", "--verbose"})) {
        options.verbose = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace

RunPlan planRun(int argc, char** argv) {
    const bool revert = argc > 0 && argv[0] != nullptr && nameAsksToRevert(argv[0]);
    RunPlan plan{RunMode::NoFile,
                 {revert ? Direction::Revert : Direction::Rename, false, false},
                 0,
                 argv + 1};
    bool optionsEnded = false;
    bool firstIsAFileName = false;  // it came after "--": never a request for help
    for (int i = 1; i < argc; ++i) {
        char* word = argv[i];
        if (!optionsEnded && std::strcmp(word, "--") == 0) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && !pathExists(word) && takeOption(word, plan.options)) {
            continue;
        }
        firstIsAFileName = plan.fileCount == 0 ? optionsEnded : firstIsAFileName;
        plan.files[plan.fileCount++] = word;  // never past i - 1: argv is compacted in place
    }
    const char* first = plan.fileCount > 0 ? plan.files[0] : nullptr;
    if (plan.fileCount == 0) {
        plan.mode = RunMode::NoFile;
    } else if (plan.fileCount == 1) {
        plan.mode = RunMode::OneFile;
        if (!firstIsAFileName && !pathExists(first)) {
            if (isOneOf(first, {"/?", "-?", "-h", "--help"})) {
                plan.mode = RunMode::Usage;
            } else if (std::strcmp(first, "--version") == 0) {
                plan.mode = RunMode::Version;
            }
        }
    } else {
        plan.mode = RunMode::SeveralFiles;
        for (int i = 1; i < plan.fileCount; ++i) {
            if (!pathExists(plan.files[i]) && !hasFontExtension(plan.files[i])) {
                plan.mode = RunMode::Batch;
                break;
            }
        }
    }
    return plan;
}

void waitForEnter() {
    printMessage(MSG_PRESS_ENTER);
    readEnter();
}

int runTool(int argc, char** argv, const char* title, Engine engine, Purpose purpose) {
    consoleInit();
    argv = commandLine(argc, argv);
    const RunPlan plan = planRun(argc, argv);
    switch (plan.mode) {
        case RunMode::Usage:
            printUsage(title, purpose);
            return 0;
        case RunMode::Version:
            printWith(VERSION_LINE, {title});
            printText(COPYRIGHT_LINES);
            return 0;
        case RunMode::Batch:
            return runOne(plan, engine, true);
        case RunMode::NoFile:
        case RunMode::OneFile:
        case RunMode::SeveralFiles:
            break;
    }
    printBanner(title, plan.options.direction);
    if (plan.mode == RunMode::NoFile) {
        return sayNoFile(title);
    }
    return plan.mode == RunMode::OneFile ? runOne(plan, engine, false) : editSeveral(plan, engine);
}
