#include "run_flow.hpp"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "file_edit.hpp"
#include "messages.hpp"
#include "platform/console.hpp"
#include "run_plan.hpp"

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
        case OpenError::Installed:
            return MSG_REASON_INSTALLED;
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
FileResult resultOf(Verdict verdict, bool changed, Direction direction) {
    if (changed) {
        const MessageId completed =
            direction == Direction::Revert ? MSG_COMPLETED_REVERT : MSG_COMPLETED;
        const MessageId detail = verdict == Verdict::Completed ? completed : NO_MESSAGE;
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

// What a dry run says of a file: what a run would do, in its direction,
// never that something was done; what it found of a file a run would leave
// as it is; and the cause that would stop the run, where one would. It ends
// with the line that nothing was written.
FileResult previewResultOf(Verdict verdict, bool wouldChange, Direction direction,
                           OpenResult editable) {
    const bool reverting = direction == Direction::Revert;
    FileResult result = resultOf(verdict, wouldChange, direction);
    if (editable.error != OpenError::None) {
        result = {OUTCOME_CANNOT_OPEN, MSG_WOULD_NOT_OPEN, reasonFor(editable.error), editable.code,
                  false};
    } else if (wouldChange && verdict == Verdict::Completed) {
        result = {OUTCOME_RENAMED, reverting ? MSG_WOULD_COMPLETE_REVERT : MSG_WOULD_COMPLETE,
                  NO_MESSAGE, 0, false};
    } else if (wouldChange) {
        result = {OUTCOME_RENAMED, reverting ? MSG_WOULD_REVERT : MSG_WOULD_RENAME, NO_MESSAGE, 0,
                  false};
    } else if (result.detail == MSG_NOTHING_CHANGED) {
        result = {OUTCOME_UNCHANGED, MSG_WOULD_CHANGE_NOTHING, NO_MESSAGE, 0, false};
    } else if (result.detail == MSG_NOTHING_CHANGED_NO_NAMES) {
        result = {OUTCOME_UNCHANGED, MSG_NOTHING_CHANGED_NO_NAMES, NO_MESSAGE, 0, false};
    }
    result.previewed = true;
    return result;
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
// names it would change are listed, then whether the run could write the
// file at all, as far as an open that writes nothing can tell.
FileResult previewOneFile(const char* path, EditStream& stream, const FileTimes& times,
                          Engine engine, Direction direction) {
    const EngineResult result = engine(stream, direction);
    const bool wouldChange = endPreview(stream, times);
    if (wouldChange) {
        printNameChanges(result);
    }
    return previewResultOf(result.verdict, wouldChange, direction, tryOpenForEdit(path));
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
        return previewOneFile(path, stream, times, engine, options.direction);
    }
    const EngineResult result = engine(stream, options.direction);
    const FinishStatus status =
        result.finish ? finishEdit(stream, times) : abandonEdit(stream, times);
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
    return resultOf(result.verdict, status == FinishStatus::Renamed, options.direction);
}

// Prints what became of a file: the message (a folder's names its path),
// the line that explains it, and for a file only looked at, that nothing was
// written.
void printResult(const FileResult& result, const char* path) {
    printMessage(result.message, {path});
    if (result.detail != NO_MESSAGE) {
        char code[24];
        std::snprintf(code, sizeof code, "%lu", result.code);
        printMessage(result.detail, {code});
    }
    if (result.previewed) {
        printMessage(MSG_DRY_RUN);
    }
}

// The running of a plan: its files in turn, each font with its own
// time-keeping edit, a failure on one not stopping the others; and the
// tally of what became of them.
struct Run {
    const RunPlan& plan;
    Engine engine;
    unsigned renamed;
    unsigned unchanged;
    unsigned failed;
    int worst;
};

FileResult resultOfTarget(Run& run, const char* path, Target target, OpenResult cause,
                          bool announce) {
    switch (target) {
        case Target::Named:
            // Among several files, one without a font's name is not opened at all.
            if (run.plan.mode == RunMode::SeveralFiles && !hasFontExtension(path)) {
                return {OUTCOME_UNCHANGED, MSG_SKIPPED, NO_MESSAGE, 0, false};
            }
            return editOneFile(path, run.engine, run.plan.options, announce);
        case Target::InFolder:
            return editOneFile(path, run.engine, run.plan.options, announce);
        case Target::NoMatch:
            return {OUTCOME_CANNOT_OPEN, MSG_CANNOT_OPEN, MSG_REASON_NO_MATCH, 0, false};
        case Target::FolderWithoutFonts:
            return {OUTCOME_UNCHANGED, MSG_FOLDER_WITHOUT_FONTS, NO_MESSAGE, 0, false};
        case Target::UnreadableFolder:
            break;
    }
    return {OUTCOME_CANNOT_OPEN, MSG_FOLDER_UNREADABLE, reasonFor(cause.error), cause.code, false};
}

// One file (or folder) of the run. Several files each get a target line
// (a folder's own line names it); a single file's is printed once it is
// open. A batch run prints only what failed, under its target line when
// there are several, unless -n or -v asked for every file's names.
void runTarget(void* context, const char* path, Target target, OpenResult cause) {
    Run& run = *static_cast<Run*>(context);
    const bool several = run.plan.mode == RunMode::SeveralFiles;
    const bool batch = run.plan.batch;
    const bool named = target != Target::FolderWithoutFonts && target != Target::UnreadableFolder;
    const bool listsNames = run.plan.options.verbose || run.plan.options.dryRun;
    if (several && named && (!batch || listsNames)) {
        printMessage(MSG_TARGET, {path});
    }
    const FileResult result = resultOfTarget(run, path, target, cause, !several && !batch);
    const bool failed = result.outcome >= OUTCOME_CANNOT_OPEN;
    if (several && named && batch && !listsNames && failed) {
        printMessage(MSG_TARGET, {path});
    }
    if (!batch || failed) {
        printResult(result, path);
    }
    run.worst = result.outcome > run.worst ? result.outcome : run.worst;
    if (result.outcome == OUTCOME_RENAMED || result.outcome == OUTCOME_TIMES_LOST) {
        ++run.renamed;
    } else if (result.outcome == OUTCOME_UNCHANGED) {
        ++run.unchanged;
    } else {
        ++run.failed;
    }
}

// Runs every file of the plan. The run ends as it began: one summary for
// several files and one prompt, so nobody waits on us between files. A
// failure waits so that a person at the console sees it, batch or not; a
// batch run whose input is no terminal has nobody at the console, and ends
// at once, leaving a script's input to the script.
int runFiles(const RunPlan& plan, Engine engine) {
    Run run{plan, engine, 0, 0, 0, OUTCOME_RENAMED};
    forEachTarget(plan, runTarget, &run);
    if (plan.batch) {
        if (run.worst >= OUTCOME_CANNOT_OPEN && inputIsInteractive()) {
            waitForEnter();
        }
        return run.worst;
    }
    if (plan.mode == RunMode::SeveralFiles) {
        char counts[3][16];
        std::snprintf(counts[0], sizeof counts[0], "%u", run.renamed);
        std::snprintf(counts[1], sizeof counts[1], "%u", run.unchanged);
        std::snprintf(counts[2], sizeof counts[2], "%u", run.failed);
        printMessage(plan.options.dryRun ? MSG_SUMMARY_DRY_RUN : MSG_SUMMARY,
                     {counts[0], counts[1], counts[2]});
    }
    waitForEnter();
    return run.worst;
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
        case RunMode::UnknownOption:
            printMessage(MSG_UNKNOWN_OPTION, {plan.unknownOption, title});
            return OUTCOME_CANNOT_OPEN;
        case RunMode::NoFile:
        case RunMode::OneFile:
        case RunMode::SeveralFiles:
            break;
    }
    if (!plan.batch) {
        printBanner(title, plan.options.direction);
    }
    return plan.mode == RunMode::NoFile ? sayNoFile(title) : runFiles(plan, engine);
}
